#include "script_check.h"

#include "platform/vb_convert.h"
#include "presentation_automation/automation_error.h"
#include "show_controller/show_script.h"

#include <algorithm>

namespace showcheck {

namespace {

const QString crlf = QStringLiteral("\r\n");

void add(std::vector<Finding> &findings, int line, int screen, Severity severity,
         const QString &kind, const QString &message)
{
    findings.push_back(Finding{line, screen, severity, kind, message});
}

QString quoted(const QString &text)
{
    QString shown = text;
    shown.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    shown.replace(QLatin1Char('\r'), QStringLiteral("\\r"));
    shown.replace(QLatin1Char('\t'), QStringLiteral("\\t"));
    return QLatin1Char('"') + shown + QLatin1Char('"');
}

// The text the step box gets, or none when building it fails (the box keeps its text).
std::optional<QString> description(const QStringList &fields)
{
    try {
        return showscript::stepDescription(fields);
    } catch (const pa::AutomationError &) {
        return std::nullopt;
    }
}

bool hasBlanks(const QString &field)
{
    return field.startsWith(QLatin1Char(' ')) || field.startsWith(QLatin1Char('\t')) ||
           field.endsWith(QLatin1Char(' ')) || field.endsWith(QLatin1Char('\t'));
}

void checkLineEnds(const QString &text, const QStringList &lines, std::vector<Finding> &findings)
{
    int loneLf = 0;
    int loneCr = 0;
    int firstLine = 0; // Corvane's line holding the first lone line end
    int line = 1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n')) {
            ++i;
            ++line;
            continue;
        }
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            (c == QLatin1Char('\n') ? loneLf : loneCr) += 1;
            if (firstLine == 0) {
                firstLine = line;
            }
        }
    }
    if (loneLf + loneCr == 0) {
        return;
    }
    QStringList kinds;
    if (loneLf > 0) {
        kinds << QStringLiteral("%1 with LF alone").arg(loneLf);
    }
    if (loneCr > 0) {
        kinds << QStringLiteral("%1 with CR alone").arg(loneCr);
    }
    const auto seen = lines.size();
    add(findings, firstLine, 0, Severity::Problem, QStringLiteral("line-ends"),
        QStringLiteral("line ends are not CR LF (%1): Corvane sees %2 %3 where an editor shows "
                       "more; save the script with CR LF line ends")
            .arg(kinds.join(QStringLiteral(", ")))
            .arg(seen)
            .arg(seen == 1 ? QStringLiteral("line") : QStringLiteral("lines")));
}

// The findings about one screen's field on a step that moves that screen.
void checkField(const QStringList &fields, int line, int screen, std::vector<Finding> &findings)
{
    const int index = showscript::slideField(screen);
    if (index >= fields.size()) {
        add(findings, line, screen, Severity::Problem, QStringLiteral("field-missing"),
            QStringLiteral("no field for Screen %1: Screen %1 stays, and the step box keeps "
                           "its earlier text")
                .arg(screen));
        return;
    }
    const QString &field = fields.at(index);
    if (field.trimmed().isEmpty()) {
        add(findings, line, screen, Severity::Problem, QStringLiteral("field-empty"),
            QStringLiteral("the field for Screen %1 is empty: Screen %1 stays").arg(screen));
        return;
    }
    const std::optional<int> slide = slideOf(fields, screen);
    if (!slide) {
        add(findings, line, screen, Severity::Problem, QStringLiteral("field-not-number"),
            QStringLiteral("the field for Screen %1, %2, is no slide number: Screen %1 stays")
                .arg(screen)
                .arg(quoted(field)));
        return;
    }
    if (*slide < 1) {
        add(findings, line, screen, Severity::Problem, QStringLiteral("slide-range"),
            QStringLiteral("slide %1 is below 1: Screen %2 stays").arg(*slide).arg(screen));
        return;
    }
    if (hasBlanks(field)) {
        add(findings, line, screen, Severity::Note, QStringLiteral("field-blanks"),
            QStringLiteral("the field for Screen %1, %2, has blanks: it goes to slide %3 and "
                           "is shown as written")
                .arg(screen)
                .arg(quoted(field))
                .arg(*slide));
    } else if (field != QString::number(*slide)) {
        add(findings, line, screen, Severity::Note, QStringLiteral("field-written-form"),
            QStringLiteral("the field for Screen %1, %2, goes to slide %3 and is shown as "
                           "written")
                .arg(screen)
                .arg(quoted(field))
                .arg(*slide));
    }
}

QString slidesText(const QStringList &fields)
{
    QStringList parts;
    for (int screen = 1; screen <= 3; ++screen) {
        const int index = showscript::slideField(screen);
        parts << QStringLiteral("Screen %1 to %2")
                     .arg(screen)
                     .arg(index < fields.size() ? QStringLiteral("slide ") + fields.at(index)
                                                : QStringLiteral("(no field)"));
    }
    return parts.join(QStringLiteral(", "));
}

} // namespace

std::optional<int> slideOf(const QStringList &fields, int screen)
{
    const int index = showscript::slideField(screen);
    if (index >= fields.size()) {
        return std::nullopt;
    }
    try {
        return platform::toInt32(fields.at(index));
    } catch (const pa::AutomationError &) {
        return std::nullopt;
    }
}

ScriptCheck checkScript(const QString &text)
{
    ScriptCheck check;
    check.lines = showscript::splitLines(text);
    const auto count = static_cast<int>(check.lines.size());
    auto &findings = check.findings;

    checkLineEnds(text, check.lines, findings);

    int firstEmpty = count;
    for (int i = 0; i < count; ++i) {
        if (check.lines.at(i).isEmpty()) {
            firstEmpty = i;
            break;
        }
    }
    // An empty line at index 0 still lets Previous restore nothing, and Next stops at once.
    check.reachedLines = std::min(firstEmpty, lastCountedLine);

    if (count == 0) {
        add(findings, 0, 0, Severity::Problem, QStringLiteral("no-steps"),
            QStringLiteral("the script is empty: the first Next shows \"End of Slide Show\""));
    } else if (check.reachedLines < 2) {
        add(findings, 1, 0, Severity::Problem, QStringLiteral("no-steps"),
            QStringLiteral("the script has no step after the opening line: the first Next "
                           "shows \"End of Slide Show\""));
    }

    if (firstEmpty < count && firstEmpty < lastCountedLine) {
        int after = 0;
        int lastNonEmpty = 0;
        for (int i = firstEmpty + 1; i < count; ++i) {
            if (!check.lines.at(i).isEmpty()) {
                ++after;
                lastNonEmpty = i;
            }
        }
        if (after > 0) {
            add(findings, firstEmpty + 1, 0, Severity::Problem, QStringLiteral("unreached"),
                QStringLiteral("line %1 is empty: the show ends here, and %2 %3 after it (up "
                               "to line %4) %5 never reached")
                    .arg(firstEmpty + 1)
                    .arg(after)
                    .arg(after == 1 ? QStringLiteral("line") : QStringLiteral("lines"))
                    .arg(lastNonEmpty + 1)
                    .arg(after == 1 ? QStringLiteral("is") : QStringLiteral("are")));
        }
    }
    if (firstEmpty >= lastCountedLine) {
        QString message = QStringLiteral("Corvane counts script lines up to %1: line %1 is taken "
                                         "again at every Next and the show never ends")
                              .arg(lastCountedLine);
        if (firstEmpty > lastCountedLine) {
            message += QStringLiteral("; lines %1 to %2 are never reached")
                           .arg(lastCountedLine + 1)
                           .arg(firstEmpty);
        }
        add(findings, lastCountedLine, 0, Severity::Problem, QStringLiteral("too-long"), message);
    }

    // Forward: what the script means each screen to show after each line.
    Slides state{1, 1, 1};
    check.intended.assign(static_cast<size_t>(std::max(check.reachedLines, 1)), state);
    for (int i = 0; i < count; ++i) {
        ScriptLine entry;
        entry.number = i + 1;
        entry.text = check.lines.at(i);
        const QStringList fields = showscript::fieldsOf(entry.text);
        entry.code = showscript::stepCode(fields);
        entry.reached = i < check.reachedLines;

        if (!entry.reached) {
            entry.next = i == firstEmpty ? QStringLiteral("End of Slide Show")
                                         : QStringLiteral("(never reached)");
            check.listing.push_back(entry);
            continue;
        }
        if (!entry.code) {
            add(findings, entry.number, 0, Severity::Problem, QStringLiteral("code"),
                i == 0 ? QStringLiteral("code %1 is not exactly one of \"0\" to \"15\": Previous "
                                        "back to the start moves no screen")
                             .arg(quoted(fields.value(0)))
                       : QStringLiteral("code %1 is not exactly one of \"0\" to \"15\": Next "
                                        "moves no screen here and the step box keeps its text")
                             .arg(quoted(fields.value(0))));
        }
        if (i == 0) {
            entry.next = QStringLiteral("(opening line: Next does not take it; the screens "
                                        "start on slide 1)");
        } else if (!entry.code) {
            entry.next = QStringLiteral("(moves no screen)");
        } else if (*entry.code == 0) {
            entry.next = QStringLiteral("Beginning of Slide Show") +
                         QStringLiteral("\r\n(moves no screen; every preview goes back to "
                                        "slide 1)");
        } else {
            entry.next = description(fields).value_or(
                QStringLiteral("(moves its screens, but the step box keeps its earlier text)"));
            for (int screen : showscript::screensNamed(*entry.code)) {
                checkField(fields, entry.number, screen, findings);
                if (const auto slide = slideOf(fields, screen); slide && *slide >= 1) {
                    state[static_cast<size_t>(screen - 1)] = *slide;
                }
            }
        }
        check.intended[static_cast<size_t>(i)] = state;
        check.listing.push_back(entry);
    }

    // Back: Previous to line k puts all three screens on that line's slides, while going
    // forward the screens it does not name show what earlier lines put there.
    for (int k = 0; k + 1 < check.reachedLines; ++k) {
        ScriptLine &entry = check.listing.at(static_cast<size_t>(k));
        if (!entry.code) {
            continue;
        }
        const QStringList fields = showscript::fieldsOf(entry.text);
        const std::vector<int> named = showscript::screensNamed(*entry.code);
        if (named.size() < 3) {
            entry.previous =
                (*entry.code == 0 ? QStringLiteral(" Beginning of Slide Show ")
                                  : description(fields).value_or(
                                        QStringLiteral("(the step box keeps its earlier text)"))) +
                QStringLiteral("\r\n(Previous back to this line moves all three screens: ") +
                slidesText(fields) + QLatin1Char(')');
        }
        for (int screen = 1; screen <= 3; ++screen) {
            if (std::find(named.begin(), named.end(), screen) != named.end()) {
                continue; // its field is checked as a step above
            }
            const int forward = check.intended[static_cast<size_t>(k)][screen - 1];
            const std::optional<int> back = slideOf(fields, screen);
            if (!back) {
                add(findings, entry.number, screen, Severity::Problem, QStringLiteral("previous"),
                    QStringLiteral("Previous back to this line cannot move Screen %1 (its field "
                                   "is %2): it stays where the step after put it, not on slide %3")
                        .arg(screen)
                        .arg(showscript::slideField(screen) < fields.size()
                                 ? quoted(fields.at(showscript::slideField(screen)))
                                 : QStringLiteral("missing"))
                        .arg(forward));
            } else if (*back != forward) {
                add(findings, entry.number, screen, Severity::Problem, QStringLiteral("previous"),
                    QStringLiteral("Previous back to this line puts Screen %1 on slide %2, but "
                                   "going forward it shows slide %3 here")
                        .arg(screen)
                        .arg(*back)
                        .arg(forward));
            }
        }
    }

    std::stable_sort(findings.begin(), findings.end(), [](const Finding &a, const Finding &b) {
        return a.line != b.line ? a.line < b.line : a.screen < b.screen;
    });
    return check;
}

std::vector<Finding> checkSlideRanges(const ScriptCheck &script,
                                      const std::array<std::optional<int>, 3> &slideCounts)
{
    std::vector<Finding> findings;
    for (int i = 1; i < script.reachedLines; ++i) {
        const ScriptLine &entry = script.listing.at(static_cast<size_t>(i));
        if (!entry.code) {
            continue;
        }
        const QStringList fields = showscript::fieldsOf(entry.text);
        for (int screen : showscript::screensNamedAscending(*entry.code)) {
            const auto &count = slideCounts[static_cast<size_t>(screen - 1)];
            const std::optional<int> slide = slideOf(fields, screen);
            if (count && slide && *slide > *count) {
                add(findings, entry.number, screen, Severity::Problem,
                    QStringLiteral("slide-range"),
                    QStringLiteral("slide %1 is past the end of Screen %2's deck (%3 %4): "
                                   "Screen %2 stays")
                        .arg(*slide)
                        .arg(screen)
                        .arg(*count)
                        .arg(*count == 1 ? QStringLiteral("slide") : QStringLiteral("slides")));
            }
        }
    }
    return findings;
}

} // namespace showcheck
