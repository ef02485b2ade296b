#include "check.h"

#include "decks.h"
#include "script_check.h"
#include "storyboard.h"

#include "platform/error.h"
#include "platform/text_file.h"
#include "presentation_automation/import_note.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <cmath>

namespace showcheck {

namespace {

struct Report
{
    std::optional<ScriptCheck> script;
    std::vector<Finding> findings; // script and decks
    std::array<Deck, 3> decks;
    int storyboardRows = -1;
    std::optional<Layout> layout;
    std::vector<Finding> layoutFindings;
    QStringList errors; // what could not be read or written
};

QString severityName(Severity s)
{
    return s == Severity::Problem ? QStringLiteral("problem") : QStringLiteral("note");
}

QString findingText(const Finding &f, bool layout)
{
    QStringList where;
    if (layout) {
        where << QStringLiteral("layout");
    }
    if (f.line > 0) {
        where << QStringLiteral("line %1").arg(f.line);
    }
    if (f.screen > 0) {
        where << QStringLiteral("Screen %1").arg(f.screen);
    }
    if (where.isEmpty()) {
        where << QStringLiteral("script");
    }
    return QStringLiteral("%1: %2: %3")
        .arg(where.join(QStringLiteral(", ")), severityName(f.severity), f.message);
}

QJsonObject findingJson(const Finding &f)
{
    QJsonObject o;
    if (f.line > 0) {
        o.insert(QStringLiteral("line"), f.line);
    }
    if (f.screen > 0) {
        o.insert(QStringLiteral("screen"), f.screen);
    }
    o.insert(QStringLiteral("severity"), severityName(f.severity));
    o.insert(QStringLiteral("kind"), f.kind);
    o.insert(QStringLiteral("message"), f.message);
    return o;
}

// The import report's line saying the deck is shown without its builds, or empty.
QString withoutBuilds(const Deck &deck)
{
    if (!deck.importReport) {
        return {};
    }
    std::vector<std::string> lines;
    for (const QString &line : *deck.importReport) {
        lines.push_back(line.toStdString());
    }
    const auto line = pa::withoutBuildsLine(lines);
    return line ? QString::fromStdString(*line) : QString();
}

// The deck's builds and what its show does not play, as lines under the deck's own.
QStringList stepsText(const Deck &deck)
{
    QStringList lines;
    QStringList withBuilds;
    for (size_t i = 0; i < deck.builds.size(); ++i) {
        if (deck.builds[i] > 0) {
            withBuilds << QStringLiteral("slide %1: %2").arg(i + 1).arg(deck.builds[i]);
        }
    }
    if (!withBuilds.isEmpty()) {
        lines << QStringLiteral("Builds (Next presses before the slide changes): ") +
                     withBuilds.join(QStringLiteral(", "));
    }
    if (deck.importReport) {
        const QString without = withoutBuilds(deck);
        for (const QString &line : *deck.importReport) {
            if (line != without) {
                lines << QStringLiteral("Not played: ") + line;
            }
        }
    }
    return lines;
}

bool parseAspect(const QString &text, double &aspect)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() != 2) {
        return false;
    }
    bool okW = false;
    bool okH = false;
    const double w = parts[0].toDouble(&okW);
    const double h = parts[1].toDouble(&okH);
    if (!okW || !okH || !(w > 0) || !(h > 0) || w / h > 10 || h / w > 10) {
        return false;
    }
    aspect = w / h;
    return true;
}

void checkTheScript(const Options &options, Report &report)
{
    try {
        report.script = checkScript(platform::readAnsiTextFile(options.script));
        report.findings = report.script->findings;
    } catch (const pa::AutomationError &error) {
        report.errors << QStringLiteral("The script cannot be read: ") + platform::errorText(error);
    }
}

void checkTheDecks(const Options &options, Report &report, DeckSet &decks)
{
    decks.open(options.decks);
    for (int screen = 1; screen <= 3; ++screen) {
        report.decks[static_cast<size_t>(screen - 1)] = decks.deck(screen);
        const Deck &deck = decks.deck(screen);
        if (!deck.slideCount) {
            report.errors << QStringLiteral("The deck of Screen %1, %2, cannot be opened: %3")
                                 .arg(screen)
                                 .arg(deck.path, deck.error);
        }
        // The script's Next presses were counted for the deck's builds, which this show lacks.
        if (const QString line = withoutBuilds(deck); !line.isEmpty()) {
            report.findings.push_back(Finding{0, screen, Severity::Problem,
                                              QStringLiteral("deckWithoutBuilds"),
                                              QStringLiteral("The deck of Screen %1, %2, is %3.")
                                                  .arg(screen)
                                                  .arg(deck.path, line)});
        }
    }
    if (report.script) {
        const auto ranges = checkSlideRanges(*report.script, decks.slideCounts());
        report.findings.insert(report.findings.end(), ranges.begin(), ranges.end());
        std::stable_sort(report.findings.begin(), report.findings.end(),
                         [](const Finding &a, const Finding &b) {
                             return a.line != b.line ? a.line < b.line : a.screen < b.screen;
                         });
    }
}

void writeStoryboard(const Options &options, Report &report, DeckSet &decks)
{
    if (!report.script) {
        return;
    }
    const auto rows = storyRows(*report.script, decks.slideCounts());
    StoryPage page;
    page.title = QFileInfo(options.script).fileName();
    for (int screen = 1; screen <= 3; ++screen) {
        page.deckNames[static_cast<size_t>(screen - 1)] =
            QFileInfo(options.decks[static_cast<size_t>(screen - 1)]).fileName();
    }
    page.thumbnailSize =
        QSize(options.thumbnailWidth,
              std::max(1, static_cast<int>(std::lround(options.thumbnailWidth / options.aspect))));
    int failed = 0;
    QString firstFailure;
    const QString html = storyboardHtml(
        page, rows,
        [&](int screen, int slide) -> QByteArray {
            try {
                return decks.thumbnail(screen, slide, page.thumbnailSize);
            } catch (const pa::AutomationError &error) {
                if (failed++ == 0) {
                    firstFailure = QStringLiteral("Screen %1 slide %2: %3")
                                       .arg(screen)
                                       .arg(slide)
                                       .arg(platform::errorText(error));
                }
                throw;
            }
        },
        [&decks](int screen, int slide) { return decks.builds(screen, slide); });
    if (failed > 0) {
        report.errors << QStringLiteral("%1 storyboard %2 could not be made (first: %3)")
                             .arg(failed)
                             .arg(failed == 1 ? QStringLiteral("picture")
                                              : QStringLiteral("pictures"))
                             .arg(firstFailure);
    }
    QSaveFile file(options.storyboard);
    if (!file.open(QIODevice::WriteOnly) || file.write(html.toUtf8()) < 0 || !file.commit()) {
        report.errors << QStringLiteral("The storyboard %1 cannot be written: %2")
                             .arg(options.storyboard, file.errorString());
        return;
    }
    report.storyboardRows = static_cast<int>(rows.size());
}

void checkTheLayout(const Options &options, const CheckEnvironment &environment, Report &report)
{
    const std::optional<std::vector<Display>> displays =
        environment.displays ? environment.displays() : std::nullopt;
    if (!displays) {
        report.errors << QStringLiteral("No display is available, so the layout cannot be "
                                        "checked (run it in the desktop session of the show).");
        return;
    }
    std::array<Placement, 3> placement = startPlacement();
    try {
        placement = placementFromFile(platform::readAnsiTextFile(environment.screenNumbersPath),
                                      report.layoutFindings);
    } catch (const pa::AutomationError &error) {
        report.errors << QStringLiteral("The screen numbers cannot be read (%1); the layout "
                                        "shows Corvane's start numbers")
                             .arg(platform::errorText(error));
    }
    Layout layout = layOut(placement, *displays, options.aspect);
    report.layoutFindings.insert(report.layoutFindings.end(), layout.findings.begin(),
                                 layout.findings.end());
    if (!options.layoutPng.isEmpty()) {
        const QImage picture = drawLayout(layout);
        if (!picture.save(options.layoutPng, "PNG")) {
            report.errors << QStringLiteral("The layout picture %1 cannot be written.")
                                 .arg(options.layoutPng);
        }
    }
    report.layout = std::move(layout);
}

int exitStatus(const Report &report)
{
    if (!report.errors.isEmpty()) {
        return exitUnreadable;
    }
    return hasProblem(report.findings) || hasProblem(report.layoutFindings) ? exitProblems
                                                                            : exitClean;
}

void printText(const Options &options, const CheckEnvironment &environment, const Report &report,
               QTextStream &out)
{
    if (report.script) {
        const ScriptCheck &s = *report.script;
        out << "Script " << options.script << ": " << s.lines.size()
            << (s.lines.size() == 1 ? " line" : " lines") << " as Corvane reads them, "
            << std::max(0, s.reachedLines - 1) << " steps\n";
        for (const ScriptLine &line : s.listing) {
            out << QStringLiteral("  line %1").arg(line.number, -6) << line.text << "\n";
            const QStringList next = line.next.split(QStringLiteral("\r\n"));
            for (int i = 0; i < next.size(); ++i) {
                out << (i == 0 && line.number > 1 && line.reached ? "        Next: "
                                                                  : "              ")
                    << next[i] << "\n";
            }
            if (!line.previous.isEmpty()) {
                const QStringList back = line.previous.split(QStringLiteral("\r\n"));
                for (int i = 0; i < back.size(); ++i) {
                    out << (i == 0 ? "    Previous: " : "              ") << back[i] << "\n";
                }
            }
        }
    }
    if (options.haveDecks) {
        out << "Decks\n";
        for (int screen = 1; screen <= 3; ++screen) {
            const Deck &deck = report.decks[static_cast<size_t>(screen - 1)];
            out << "  Screen " << screen << ": " << deck.path << ", ";
            if (deck.slideCount) {
                out << *deck.slideCount << (*deck.slideCount == 1 ? " slide\n" : " slides\n");
            } else {
                out << "cannot be opened: " << deck.error << "\n";
            }
            for (const QString &line : stepsText(deck)) {
                out << "    " << line << "\n";
            }
        }
    }
    if (report.storyboardRows >= 0) {
        out << "Storyboard: " << options.storyboard << ", " << report.storyboardRows << " rows\n";
    }
    if (report.layout) {
        out << "Layout (screen numbers from " << environment.screenNumbersPath
            << "; window heights for " << options.aspectText
            << " slides; pixels from the primary display's top-left corner)\n";
        for (const QString &line : layoutText(*report.layout)) {
            out << "  " << line << "\n";
        }
        if (!options.layoutPng.isEmpty()) {
            out << "  picture: " << options.layoutPng << "\n";
        }
    }
    int problems = 0;
    int notes = 0;
    const auto count = [&](const std::vector<Finding> &findings) {
        for (const Finding &f : findings) {
            (f.severity == Severity::Problem ? problems : notes) += 1;
        }
    };
    count(report.findings);
    count(report.layoutFindings);
    if (problems + notes > 0) {
        out << "Findings\n";
        for (const Finding &f : report.findings) {
            out << "  " << findingText(f, false) << "\n";
        }
        for (const Finding &f : report.layoutFindings) {
            out << "  " << findingText(f, true) << "\n";
        }
    }
    out << QStringLiteral("Result: %1 %2, %3 %4%5\n")
               .arg(problems)
               .arg(problems == 1 ? QStringLiteral("problem") : QStringLiteral("problems"))
               .arg(notes)
               .arg(notes == 1 ? QStringLiteral("note") : QStringLiteral("notes"))
               .arg(report.errors.isEmpty()
                        ? QString()
                        : QStringLiteral(", %1 could not be checked").arg(report.errors.size()));
}

QJsonObject rectJson(const QRect &r)
{
    return QJsonObject{{QStringLiteral("x"), r.x()},
                       {QStringLiteral("y"), r.y()},
                       {QStringLiteral("width"), r.width()},
                       {QStringLiteral("height"), r.height()}};
}

void printJson(const Options &options, const CheckEnvironment &environment, const Report &report,
               int status, QTextStream &out)
{
    QJsonObject root;
    if (report.script) {
        root.insert(QStringLiteral("script"), options.script);
        QJsonArray lines;
        for (const ScriptLine &line : report.script->listing) {
            QJsonObject o{{QStringLiteral("line"), line.number},
                          {QStringLiteral("text"), line.text},
                          {QStringLiteral("reached"), line.reached},
                          {QStringLiteral("next"), line.next}};
            o.insert(QStringLiteral("code"), line.code ? QJsonValue(*line.code) : QJsonValue());
            if (!line.previous.isEmpty()) {
                o.insert(QStringLiteral("previous"), line.previous);
            }
            lines.append(o);
        }
        root.insert(QStringLiteral("lines"), lines);
        root.insert(QStringLiteral("steps"), std::max(0, report.script->reachedLines - 1));
    }
    if (options.haveDecks) {
        QJsonArray decks;
        for (int screen = 1; screen <= 3; ++screen) {
            const Deck &deck = report.decks[static_cast<size_t>(screen - 1)];
            QJsonObject o{{QStringLiteral("screen"), screen}, {QStringLiteral("file"), deck.path}};
            if (deck.slideCount) {
                o.insert(QStringLiteral("slides"), *deck.slideCount);
                if (!deck.builds.empty()) {
                    QJsonArray builds;
                    for (int n : deck.builds) {
                        builds.append(n);
                    }
                    o.insert(QStringLiteral("builds"), builds);
                }
                if (deck.importReport) {
                    QStringList notPlayed = *deck.importReport;
                    if (const QString without = withoutBuilds(deck); !without.isEmpty()) {
                        notPlayed.removeAll(without);
                        o.insert(QStringLiteral("withoutBuilds"), without);
                    }
                    o.insert(QStringLiteral("notPlayed"), QJsonArray::fromStringList(notPlayed));
                }
            } else {
                o.insert(QStringLiteral("error"), deck.error);
            }
            decks.append(o);
        }
        root.insert(QStringLiteral("decks"), decks);
    }
    if (report.storyboardRows >= 0) {
        root.insert(QStringLiteral("storyboard"),
                    QJsonObject{{QStringLiteral("file"), options.storyboard},
                                {QStringLiteral("rows"), report.storyboardRows}});
    }
    if (report.layout) {
        QJsonArray displays;
        for (const Display &d : report.layout->displays) {
            QJsonObject o = rectJson(d.geometry);
            o.insert(QStringLiteral("name"), d.name);
            o.insert(QStringLiteral("primary"), d.primary);
            displays.append(o);
        }
        QJsonArray windows;
        for (int s = 0; s < 3; ++s) {
            const Landing &w = report.layout->windows[static_cast<size_t>(s)];
            QJsonObject o = rectJson(w.rect);
            o.insert(QStringLiteral("screen"), s + 1);
            o.insert(QStringLiteral("leftPt"), w.placement.left);
            o.insert(QStringLiteral("topPt"), w.placement.top);
            o.insert(QStringLiteral("widthPt"), w.placement.width);
            o.insert(QStringLiteral("display"),
                     w.display < 0 ? QJsonValue() : QJsonValue(w.display + 1));
            o.insert(QStringLiteral("offDisplayPixels"), w.offPixels);
            windows.append(o);
        }
        QJsonArray findings;
        for (const Finding &f : report.layoutFindings) {
            findings.append(findingJson(f));
        }
        root.insert(
            QStringLiteral("layout"),
            QJsonObject{{QStringLiteral("screenNumbersFile"), environment.screenNumbersPath},
                        {QStringLiteral("aspect"), options.aspectText},
                        {QStringLiteral("displays"), displays},
                        {QStringLiteral("windows"), windows},
                        {QStringLiteral("findings"), findings}});
    }
    QJsonArray findings;
    for (const Finding &f : report.findings) {
        findings.append(findingJson(f));
    }
    root.insert(QStringLiteral("findings"), findings);
    root.insert(QStringLiteral("errors"), QJsonArray::fromStringList(report.errors));
    root.insert(QStringLiteral("exitStatus"), status);
    out << QString::fromUtf8(QJsonDocument(root).toJson(QJsonDocument::Indented));
}

} // namespace

QString usageText()
{
    return QStringLiteral(
        "Usage: corvane-check SCRIPT [DECK1 DECK2 DECK3] [--storyboard FILE.html]\n"
        "                     [--layout [FILE.png]] [--aspect W:H] [--json]\n"
        "       corvane-check --layout [FILE.png]\n"
        "\n"
        "Checks a Corvane show script before the show: every line and what Next and Previous\n"
        "do with it, then the problems, each with its line and what the operator will see.\n"
        "\n"
        "  DECK1 DECK2 DECK3        the decks of Screen 1, 2 and 3: opened read-only in the\n"
        "                           presentation application, without windows, and every\n"
        "                           slide number of the script checked against them\n"
        "  --storyboard FILE.html   write one page with a row per step and a picture of what\n"
        "                           each screen shows after it (needs the decks)\n"
        "  --layout [FILE.png]      where the three slide show windows land with the saved\n"
        "                           screen numbers on the current displays; with FILE.png,\n"
        "                           also a picture of it\n"
        "  --aspect W:H             the slides' shape, for window heights and pictures\n"
        "                           (default 4:3)\n"
        "  --json                   print the findings as JSON\n"
        "  --help, --version\n"
        "\n"
        "Exit status: 0 nothing wrong, 1 a problem was found, 2 a file could not be read.\n"
        "Opening the decks makes the last one the application's active presentation: run the\n"
        "check before the show, not while Corvane drives it.\n");
}

Options parseArguments(const QStringList &arguments, QString &error)
{
    Options options;
    QStringList positional;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments.at(i);
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            options.help = true;
        } else if (arg == QLatin1String("--version")) {
            options.version = true;
        } else if (arg == QLatin1String("--json")) {
            options.json = true;
        } else if (arg == QLatin1String("--storyboard")) {
            if (i + 1 >= arguments.size()) {
                error = QStringLiteral("--storyboard needs a file name");
                return options;
            }
            options.storyboard = arguments.at(++i);
        } else if (arg == QLatin1String("--aspect")) {
            if (i + 1 >= arguments.size() || !parseAspect(arguments.at(i + 1), options.aspect)) {
                error = QStringLiteral("--aspect needs a shape such as 4:3 or 16:9");
                return options;
            }
            options.aspectText = arguments.at(++i);
        } else if (arg == QLatin1String("--layout")) {
            options.layout = true;
            if (i + 1 < arguments.size() &&
                arguments.at(i + 1).endsWith(QLatin1String(".png"), Qt::CaseInsensitive) &&
                !arguments.at(i + 1).startsWith(QLatin1String("--"))) {
                options.layoutPng = arguments.at(++i);
            }
        } else if (arg.startsWith(QLatin1String("--")) && arg.size() > 2) {
            error = QStringLiteral("unknown option %1").arg(arg);
            return options;
        } else {
            positional << arg;
        }
    }
    if (options.help || options.version) {
        return options;
    }
    if (positional.isEmpty() && !options.layout) {
        error = QStringLiteral("no script was given");
    } else if (!positional.isEmpty() && positional.size() != 1 && positional.size() != 4) {
        error = QStringLiteral("give the script alone or the script and three decks");
    } else if (!options.storyboard.isEmpty() && positional.size() != 4) {
        error = QStringLiteral("--storyboard needs the three decks");
    }
    if (!positional.isEmpty()) {
        options.script = positional.at(0);
    }
    if (positional.size() == 4) {
        options.haveDecks = true;
        options.decks = {positional.at(1), positional.at(2), positional.at(3)};
    }
    return options;
}

int runCheck(const Options &options, const CheckEnvironment &environment, QTextStream &out,
             QTextStream &err)
{
    Report report;
    if (!options.script.isEmpty()) {
        checkTheScript(options, report);
    }
    if (options.haveDecks) {
        DeckSet decks(environment.createApplication);
        checkTheDecks(options, report, decks);
        if (!options.storyboard.isEmpty()) {
            writeStoryboard(options, report, decks);
        }
    }
    if (options.layout) {
        checkTheLayout(options, environment, report);
    }
    const int status = exitStatus(report);
    if (options.json) {
        printJson(options, environment, report, status, out);
    } else {
        printText(options, environment, report, out);
    }
    out.flush();
    for (const QString &e : report.errors) {
        err << "corvane-check: " << e << "\n";
    }
    err.flush();
    return status;
}

} // namespace showcheck
