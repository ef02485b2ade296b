#pragma once

// A small test harness for the Windows side, where no test framework is at hand.
// TEST_CASE(group, name) registers a case; the test program runs the cases of the group named
// on its command line (all without one). A failed CHECK ends its case.

#include "presentation_automation/automation_error.h"

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace pa::powerpoint::check {

struct TestCase
{
    std::string group;
    std::string name;
    void (*run)();
};

inline std::vector<TestCase> &registry()
{
    static std::vector<TestCase> cases;
    return cases;
}

struct Registrar
{
    Registrar(const char *group, const char *name, void (*run)())
    {
        registry().push_back({group, name, run});
    }
};

struct Failure
{
    std::string message;
};

[[noreturn]] inline void fail(const char *file, int line, const std::string &message)
{
    std::ostringstream out;
    out << file << ":" << line << ": " << message;
    throw Failure{out.str()};
}

template<class T> std::string show(const T &value)
{
    std::ostringstream out;
    out << value;
    return out.str();
}

inline std::string show(const std::vector<std::string> &lines)
{
    std::string text = "{\n";
    for (const std::string &line : lines) {
        text += "    \"" + line + "\"\n";
    }
    return text + "}";
}

int runTests(int argc, char **argv);

} // namespace pa::powerpoint::check

#define TEST_CASE(group, name)                                                                     \
    static void name();                                                                            \
    static const ::pa::powerpoint::check::Registrar name##Registrar(group, #name, name);           \
    static void name()

#define CHECK(condition)                                                                           \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            ::pa::powerpoint::check::fail(__FILE__, __LINE__, "CHECK(" #condition ") failed");     \
        }                                                                                          \
    } while (false)

#define CHECK_EQ(actual, expected)                                                                 \
    do {                                                                                           \
        const auto &checkActual = (actual);                                                        \
        const auto &checkExpected = (expected);                                                    \
        if (!(checkActual == checkExpected)) {                                                     \
            ::pa::powerpoint::check::fail(                                                         \
                __FILE__, __LINE__,                                                                \
                "CHECK_EQ(" #actual ", " #expected ")\n  actual:   " +                             \
                    ::pa::powerpoint::check::show(checkActual) +                                   \
                    "\n  expected: " + ::pa::powerpoint::check::show(checkExpected));              \
        }                                                                                          \
    } while (false)

// Runs statement and expects AutomationError with exactly this source and description.
#define CHECK_AUTOMATION_ERROR(statement, expectedSource, expectedDescription)                     \
    do {                                                                                           \
        bool checkThrew = false;                                                                   \
        try {                                                                                      \
            statement;                                                                             \
        } catch (const ::pa::AutomationError &checkError) {                                        \
            checkThrew = true;                                                                     \
            CHECK_EQ(checkError.source(), std::string(expectedSource));                            \
            CHECK_EQ(checkError.description(), std::string(expectedDescription));                  \
        }                                                                                          \
        if (!checkThrew) {                                                                         \
            ::pa::powerpoint::check::fail(__FILE__, __LINE__,                                      \
                                          "no AutomationError from: " #statement);                 \
        }                                                                                          \
    } while (false)
