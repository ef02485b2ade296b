// A backup's rules: which queue texts bring it where its main is, when the two shows differ,
// which texts are the operator's own steps, and the commands that re-arm and report.

#include "remote_control/commands.h"
#include "remote_control/fingerprint.h"
#include "remote_control/follow_rules.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace remote;
using namespace remote::follow;

namespace {

// "5.2" is slide 5 with two builds shown, "5" a slide whose builds are not told, "5.0b" the
// same blanked black ("w" white, "n" shown); "-" no show.
Screen screen(const QString &text)
{
    Screen s;
    s.slides = 20;
    s.deck = QStringLiteral("d");
    if (text == QLatin1String("-")) {
        return s;
    }
    QString rest = text;
    if (rest.endsWith(QLatin1Char('b')) || rest.endsWith(QLatin1Char('w')) ||
        rest.endsWith(QLatin1Char('n'))) {
        const QChar last = rest.back();
        s.blank = last == QLatin1Char('b')   ? QStringLiteral("black")
                  : last == QLatin1Char('w') ? QStringLiteral("white")
                                             : QStringLiteral("none");
        rest.chop(1);
    }
    const QStringList parts = rest.split(QLatin1Char('.'));
    s.showing = parts.at(0).toInt();
    if (parts.size() > 1) {
        s.build = parts.at(1).toInt();
    }
    return s;
}

// "3 | 5.2 4 1" is script line 3 and three screens.
Show corvane(const QString &text)
{
    Show show;
    show.lines = 10;
    show.script = QStringLiteral("s");
    const QStringList halves = text.split(QLatin1Char('|'));
    show.line = halves.at(0).trimmed().toInt();
    for (const QString &s : halves.at(1).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        show.screens.append(screen(s));
    }
    return show;
}

Show kestro(const QString &text)
{
    Show show;
    show.screens.append(screen(text));
    return show;
}

} // namespace

class TestFollowRules : public QObject
{
    Q_OBJECT

private slots:
    void stepsBringTheBackupWhereTheMainIs()
    {
        struct Case
        {
            const char *name;
            Program program;
            const char *main;
            const char *own;
            const char *steps;
        };
        const Case cases[] = {
            {"in step: nothing", Program::Corvane, "3 | 5.0 4.1 1", "3 | 5.0 4.1 1", ""},
            {"one step on: Next", Program::Corvane, "4 | 6.0 4 1", "3 | 5.0 4 1", "N"},
            {"one step back: Previous", Program::Corvane, "2 | 1.0 4 1", "3 | 5.0 4 1", "P"},
            {"a jump: LINE, alone", Program::Corvane, "7 | 9.0 4 1", "3 | 5.0 4 1", "LINE 7"},
            {"no script here yet: LINE", Program::Corvane, "2 | 1 1 1", "0 | 1 1 1", "LINE 2"},
            {"no script on the main: screens only", Program::Corvane, "0 | 2 1 1", "0 | 1 1 1",
             "GOTO 1 2"},
            {"builds on: Next presses on that screen", Program::Corvane, "3 | 5.0 4.3 1",
             "3 | 5.0 4.1 1", "2N,2N"},
            {"builds back: Previous presses", Program::Corvane, "3 | 5.0 4.0 1", "3 | 5.0 4.2 1",
             "2P,2P"},
            {"another slide: go to it, then its builds", Program::Corvane, "3 | 5.0 4.0 7.2",
             "3 | 5.0 4.0 6.4", "GOTO 3 7,3N,3N"},
            {"builds not told: slides only", Program::Corvane, "3 | 5 4 8", "3 | 5 4 1",
             "GOTO 3 8"},
            {"builds told by one side only: not compared", Program::Corvane, "3 | 5.2 4 1",
             "3 | 5 4 1", ""},
            {"a screen without a show is left alone", Program::Corvane, "3 | - 4 1", "3 | 5 4 1",
             ""},
            {"blank black, white and back", Program::Corvane, "3 | 5.0b 4.0w 1.0n",
             "3 | 5.0n 4.0n 1.0b", "BLACK 1,WHITE 2,SHOW 3"},
            {"blank not told by one side: left alone", Program::Corvane, "3 | 5.0b 4 1",
             "3 | 5.0 4 1", ""},
            {"slide before blank", Program::Corvane, "3 | 6.1b 4 1", "3 | 5.0n 4 1",
             "GOTO 1 6,1N,BLACK 1"},
            {"kestro: slide and builds", Program::Kestro, "9.2", "4.0", "SLIDE 9,N,N"},
            {"kestro: builds back", Program::Kestro, "9.0", "9.1", "P"},
            {"kestro: in step", Program::Kestro, "9.1n", "9.1n", ""},
            {"kestro: blank", Program::Kestro, "9.1w", "9.1n", "WHITE"},
        };
        for (const Case &c : cases) {
            const auto show = [&c](const char *text) {
                return c.program == Program::Corvane ? corvane(QLatin1String(text))
                                                     : kestro(QLatin1String(text));
            };
            const QString steps =
                stepsToFollow(c.program, show(c.main), show(c.own)).join(QLatin1Char(','));
            QVERIFY2(
                steps == QLatin1String(c.steps),
                qPrintable(QStringLiteral("%1: got \"%2\"").arg(QLatin1String(c.name), steps)));
        }
    }

    void aStateClaimingEndlessBuildsIsCapped()
    {
        const QStringList steps = stepsToFollow(Program::Kestro, kestro(QStringLiteral("3.100000")),
                                                kestro(QStringLiteral("3.0")));
        QCOMPARE(steps.size(), maxPresses);
    }

    void differentShowsAreNotFollowed()
    {
        struct Case
        {
            const char *name;
            Program program;
            std::function<void(Show &)> change;
            const char *reason;
        };
        const Case cases[] = {
            {"the same show", Program::Corvane, [](Show &) {}, ""},
            {"another deck on screen 2", Program::Corvane,
             [](Show &s) { s.screens[1].deck = QStringLiteral("other"); }, "screen 2 deck differs"},
            {"a deck of another length", Program::Corvane, [](Show &s) { s.screens[2].slides = 7; },
             "screen 3 deck differs"},
            {"a deck not counted yet: the fingerprint tells", Program::Corvane,
             [](Show &s) { s.screens[1].slides = 0; }, ""},
            {"another deck, not counted yet", Program::Corvane,
             [](Show &s) {
                 s.screens[1].slides = 0;
                 s.screens[1].deck = QStringLiteral("x");
             },
             "screen 2 deck differs"},
            {"no deck loaded on screen 1", Program::Corvane,
             [](Show &s) { s.screens[0] = Screen{}; }, "screen 1 deck differs"},
            {"another script", Program::Corvane,
             [](Show &s) { s.script = QStringLiteral("other"); }, "script differs"},
            {"a script of another length and a deck", Program::Corvane,
             [](Show &s) {
                 s.lines = 3;
                 s.screens[0].deck = QStringLiteral("x");
             },
             "screen 1 deck differs; script differs"},
            {"kestro: another deck", Program::Kestro,
             [](Show &s) { s.screens[0].deck = QStringLiteral("x"); }, "deck differs"},
            // Where the shows stand is what following fixes, not a difference.
            {"another position", Program::Corvane, [](Show &s) { s.screens[0].showing = 9; }, ""},
        };
        for (const Case &c : cases) {
            const Show main = c.program == Program::Corvane ? corvane(QStringLiteral("3 | 5 4 1"))
                                                            : kestro(QStringLiteral("5"));
            Show own = main;
            c.change(own);
            QCOMPARE(mismatch(c.program, main, own), QLatin1String(c.reason));
        }
    }

    void aStateIsReadAsTheRulesSeeIt()
    {
        const State state{{QStringLiteral("line"), 4},
                          {QStringLiteral("lines"), 12},
                          {QStringLiteral("script"), QStringLiteral("abc")},
                          {QStringLiteral("screen1/slides"), 8},
                          {QStringLiteral("screen1/showing"), 5},
                          {QStringLiteral("screen1/build"), 2},
                          {QStringLiteral("screen1/deck"), QStringLiteral("f1")},
                          {QStringLiteral("screen1/blank"), QStringLiteral("white")},
                          {QStringLiteral("screen2/showing"), 3}};
        const Show show = showFromState(Program::Corvane, state);
        QCOMPARE(show.line, 4);
        QCOMPARE(show.lines, 12);
        QCOMPARE(show.script, QStringLiteral("abc"));
        QCOMPARE(show.screens.size(), 3);
        QCOMPARE(show.screens[0].showing, 5);
        QCOMPARE(show.screens[0].build, std::optional<int>(2));
        QCOMPARE(show.screens[0].slides, 8);
        QCOMPARE(show.screens[0].deck, QStringLiteral("f1"));
        QCOMPARE(show.screens[0].blank, std::optional<QString>(QStringLiteral("white")));
        QCOMPARE(show.screens[1].showing, 3);
        QCOMPARE(show.screens[1].build, std::nullopt);
        QCOMPARE(show.screens[1].blank, std::nullopt);
        QCOMPARE(show.screens[2].showing, 0);

        const Show single = showFromState(
            Program::Kestro, State{{QStringLiteral("showing"), 7}, {QStringLiteral("build"), 1}});
        QCOMPARE(single.screens.size(), 1);
        QCOMPARE(single.screens[0].showing, 7);
        QCOMPARE(single.screens[0].build, std::optional<int>(1));
    }

    void ownStepsAreToldFromOtherTexts()
    {
        const struct
        {
            Program program;
            const char *text;
            bool step;
        } cases[] = {
            {Program::Corvane, "N", true},
            {Program::Corvane, "3P", true},
            {Program::Corvane, "LINE 4", true},
            {Program::Corvane, "BLACK 2", true},
            {Program::Corvane, "SHOW 1", true},
            {Program::Corvane, "FOLLOW", false},
            {Program::Corvane, "4N", false},
            {Program::Corvane, "n", false},
            {Program::Corvane, "GOTO 1 3", false},
            {Program::Corvane, "xyz", false},
            {Program::Kestro, "SLIDE 4", true},
            {Program::Kestro, "WHITE", true},
            {Program::Kestro, "1N", false},
            {Program::Corvane, "BLACK", true},
            {Program::Corvane, "TOGGLE WHITE", true},
            {Program::Kestro, "BLACK 2", false},
        };
        for (const auto &c : cases) {
            QVERIFY2(isStep(c.program, QLatin1String(c.text)) == c.step, c.text);
        }
        QCOMPARE(gotoText(QStringLiteral("GOTO 2 17")), std::optional(std::pair(2, 17)));
        QCOMPARE(gotoText(QStringLiteral("GOTO 4 1")), std::nullopt);
        QCOMPARE(gotoText(QStringLiteral("GOTO 1")), std::nullopt);
    }

    void followAndReportAreCommands()
    {
        const auto text = [](Program program, const char *line) {
            const Parsed parsed = parseTextCommand(program, QLatin1String(line));
            return parsed.command ? queueText(*parsed.command) : QStringLiteral("refused");
        };
        QCOMPARE(text(Program::Corvane, "follow"), QStringLiteral("FOLLOW"));
        QCOMPARE(text(Program::Kestro, "FOLLOW"), QStringLiteral("FOLLOW"));
        const Parsed osc =
            parseOscCommand(Program::Corvane, OscMessage{QStringLiteral("/corvane/follow"), {}});
        QVERIFY(osc.command && queueText(*osc.command) == QLatin1String("FOLLOW"));
        const Parsed json = parseJsonCommand(Program::Kestro, R"({"command":"follow"})");
        QVERIFY(json.command && queueText(*json.command) == QLatin1String("FOLLOW"));
        // A report runs nothing on the main: it only tells how the backup follows.
        const Parsed report =
            parseJsonCommand(Program::Corvane, R"({"command":"follower","value":"in-step"})");
        QVERIFY(report.command);
        QCOMPARE(report.command->action, Action::Report);
        QCOMPARE(report.command->text, QStringLiteral("in-step"));
        QVERIFY(queueText(*report.command).isEmpty());
        QVERIFY(!parseTextCommand(Program::Corvane, QStringLiteral("follower x")).command);
    }

    void fingerprintsFollowTheContent()
    {
        QTemporaryDir dir;
        const QString a = dir.filePath(QStringLiteral("a.pdf"));
        const QString b = dir.filePath(QStringLiteral("b.pdf"));
        for (const QString &path : {a, b}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("the same deck");
        }
        QCOMPARE(fileFingerprint(a).size(), 16);
        QCOMPARE(fileFingerprint(a), fileFingerprint(b));
        {
            QFile file(b);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("another deck!"); // the same size: the time tells it was changed
            file.flush();
            QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(60),
                                     QFileDevice::FileModificationTime));
        }
        QVERIFY(fileFingerprint(a) != fileFingerprint(b));
        QVERIFY(fileFingerprint(dir.filePath(QStringLiteral("none"))).isEmpty());
        QCOMPARE(scriptFingerprint({QStringLiteral("0,1,1,1"), QStringLiteral("1,2,1,1")}),
                 scriptFingerprint({QStringLiteral("0,1,1,1"), QStringLiteral("1,2,1,1")}));
        QVERIFY(scriptFingerprint({QStringLiteral("0,1,1,1")}) !=
                scriptFingerprint({QStringLiteral("0,1,1,2")}));
    }
};

QTEST_APPLESS_MAIN(TestFollowRules)
#include "tst_follow_rules.moc"
