#pragma once

// What the pre-show check found, in the operator's terms.

#include <QString>

#include <vector>

namespace showcheck {

enum class Severity
{
    Note,    // works, but not as it reads
    Problem, // a screen will not do what the script says, or a step is never reached
};

struct Finding
{
    int line = 0;   // line as Corvane counts them, from 1; 0 when about no single line
    int screen = 0; // 1..3; 0 when about no single screen
    Severity severity = Severity::Problem;
    QString kind; // stable name for scripts reading the JSON
    QString message;
};

inline bool hasProblem(const std::vector<Finding> &findings)
{
    for (const Finding &f : findings) {
        if (f.severity == Severity::Problem) {
            return true;
        }
    }
    return false;
}

} // namespace showcheck
