// The two files Corvane reads, fed with arbitrary bytes: a show script and a screen-numbers
// file. A plain program that runs the files (or folders of files) it is given; built with
// clang and CORVANE_BUILD_FUZZ it is a libFuzzer target.

#include "show_controller/screen_numbers.h"
#include "show_controller/show_script.h"

#include "presentation_automation/automation_error.h"


#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>

namespace {

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "fault: %s\n", what);
    std::abort();
}

bool isPermutationOfScreens(const std::array<int, 3> &order)
{
    return std::set<int>(order.begin(), order.end()) == std::set<int>{1, 2, 3};
}

void checkScript(const QString &text)
{
    using namespace showscript;
    const QStringList lines = splitLines(text);
    if (lines.join(QStringLiteral("\r\n")) != text) {
        fail("script lines do not give back the file");
    }
    for (int i = -1; i <= lines.size(); ++i) {
        const QStringList fields = fieldsOf(lineAt(lines, i));
        const std::optional<int> code = stepCode(fields);
        if (!code) {
            continue;
        }
        if (*code < 0 || *code > 15 || fields.at(0) != QString::number(*code)) {
            fail("a step code that is not written exactly");
        }
        if (!isPermutationOfScreens(switchOrder(*code)) || !isPermutationOfScreens(pictureOrder(*code))) {
            fail("an order that does not name each screen once");
        }
        try {
            const QString description = stepDescription(fields);
            const auto named = screensNamed(*code);
            const qsizetype expectedLines = named.empty() ? 1 : static_cast<qsizetype>(named.size());
            if (description.split(QStringLiteral("\r\n")).size() < expectedLines) {
                fail("a description with fewer lines than screens named");
            }
        } catch (const pa::AutomationError &) {
            // A field the description needs is missing: refused, as it should be.
        }
    }
}

void checkScreenNumbers(const QString &content)
{
    QStringList nine;
    try {
        nine = screennumbers::fields(content);
    } catch (const pa::AutomationError &) {
        if (content.count(QLatin1Char(',')) >= 8) {
            fail("nine fields refused");
        }
        return;
    }
    if (nine.size() != 9) {
        fail("not nine texts");
    }
    // Saving what was loaded and loading it again gives the same nine texts.
    if (screennumbers::fields(screennumbers::line(nine)) != nine) {
        fail("save and load do not round-trip");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text =
        QString::fromLatin1(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    checkScript(text);
    checkScreenNumbers(text);
    return 0;
}
