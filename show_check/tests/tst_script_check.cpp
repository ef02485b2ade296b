// The script check: each kind of bad script against its findings, slide numbers against
// deck sizes, the storyboard's walk through the show, and the program's exit status.

#include "show_check/check.h"
#include "show_check/script_check.h"
#include "show_check/storyboard.h"

#include "platform/testing/test_main.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QObject>
#include <QTemporaryDir>

using namespace showcheck;

namespace {

// "line:screen:kind" per finding, in the check's order.
QStringList summary(const std::vector<Finding> &findings)
{
    QStringList out;
    for (const Finding &f : findings) {
        out << QStringLiteral("%1:%2:%3").arg(f.line).arg(f.screen).arg(f.kind);
    }
    return out;
}

QString repeatedLines(const QString &line, int count)
{
    QString text;
    for (int i = 0; i < count; ++i) {
        text += line + QStringLiteral("\r\n");
    }
    return text;
}

} // namespace

class TestScriptCheck : public QObject
{
    Q_OBJECT

private slots:
    void badScriptsGiveTheirFindings_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<bool>("problem");

        QTest::newRow("clean") << "0,1,1,1\r\n1,2,1,1\r\n10,3,2,2\r\n6,4,3,2\r\n"
                               << QStringList{} << false;
        QTest::newRow("clean without final line end")
            << "0,1,1,1\r\n3,1,1,2" << QStringList{} << false;
        QTest::newRow("LF only is one line")
            << "0,1,1,1\n1,2,1,1\n10,3,2,2\n"
            << QStringList{"1:0:line-ends", "1:0:no-steps"} << true;
        QTest::newRow("a lone CR inside line 2") << "0,1,1,1\r\n1,2,1,1\r10,3,2,2\r\n"
                                                 << QStringList{"2:0:line-ends"} << true;
        QTest::newRow("code 01") << "0,1,1,1\r\n01,2,1,1\r\n1,2,1,1\r\n"
                                 << QStringList{"2:0:code"} << true;
        QTest::newRow("code with a blank before") << "0,1,1,1\r\n 1,2,1,1\r\n1,2,1,1\r\n"
                                                  << QStringList{"2:0:code"} << true;
        QTest::newRow("code 16") << "0,1,1,1\r\n1,2,1,1\r\n16,2,1,1\r\n"
                                 << QStringList{"3:0:code"} << true;
        QTest::newRow("opening line without a code") << "x,1,1,1\r\n1,2,1,1\r\n"
                                                     << QStringList{"1:0:code"} << true;
        QTest::newRow("missing field of a moved screen")
            << "0,1,1,1\r\n4,2\r\n"
            << QStringList{"2:2:field-missing"} << true;
        QTest::newRow("empty field of a moved screen") << "0,1,1,1\r\n2,1,,1\r\n"
                                                       << QStringList{"2:2:field-empty"} << true;
        QTest::newRow("a letter for a moved screen") << "0,1,1,1\r\n10,3,x,2\r\n"
                                                     << QStringList{"2:2:field-not-number"} << true;
        QTest::newRow("slide 0") << "0,1,1,1\r\n1,0,1,1\r\n"
                                 << QStringList{"2:1:slide-range"} << true;
        QTest::newRow("blanks work")
            << "0,1,1,1\r\n1,3 ,1,1\r\n3,3,1, 2\r\n"
            << QStringList{"2:1:field-blanks", "3:3:field-blanks"} << false;
        QTest::newRow("leading zeros work") << "0,1,1,1\r\n1,007,1,1\r\n"
                                            << QStringList{"2:1:field-written-form"} << false;
        QTest::newRow("an unmoved screen's field is not its slide")
            << "0,1,1,1\r\n1,2,1,1\r\n2,3,2,1\r\n3,3,2,2\r\n"
            << QStringList{"3:1:previous"} << true;
        QTest::newRow("opening line off slide 1")
            << "0,4,1,7\r\n10,4,1,7\r\n"
            << QStringList{"1:1:previous", "1:3:previous"} << true;
        QTest::newRow("an unmoved screen without a field, stepped back to")
            << "0,1,1,1\r\n1,2\r\n2,2,3\r\n"
            << QStringList{"2:2:previous", "2:3:previous"} << true;
        QTest::newRow("lines after an empty line")
            << "0,1,1,1\r\n1,2,1,1\r\n\r\n1,3,1,1\r\n\r\n2,3,2,1\r\n"
            << QStringList{"3:0:unreached"} << true;
        QTest::newRow("an empty line right after the opening line")
            << "0,1,1,1\r\n\r\n1,2,1,1\r\n"
            << QStringList{"1:0:no-steps", "2:0:unreached"} << true;
        QTest::newRow("empty file") << "" << QStringList{"0:0:no-steps"} << true;
        QTest::newRow("more lines than Corvane counts")
            << "0,1,1,1\r\n" + repeatedLines("1,1,1,1", 32769) << QStringList{"32767:0:too-long"}
            << true;
        QTest::newRow("as many lines as Corvane counts, the last one repeats")
            << "0,1,1,1\r\n" + repeatedLines("1,1,1,1", 32766) << QStringList{"32767:0:too-long"}
            << true;
    }

    void badScriptsGiveTheirFindings()
    {
        QFETCH(QString, script);
        QFETCH(QStringList, expected);
        QFETCH(bool, problem);
        const ScriptCheck check = checkScript(script);
        QCOMPARE(summary(check.findings), expected);
        QCOMPARE(hasProblem(check.findings), problem);
        for (const Finding &f : check.findings) {
            QVERIFY2(!f.message.isEmpty(), qPrintable(f.kind));
        }
    }

    void linesAreListedInTheMainWindowsWords()
    {
        const ScriptCheck check = checkScript("0,1,1,1\r\n1,2,1,1\r\n6,4,3,1\r\n01,1\r\n");
        QCOMPARE(check.listing.size(), size_t(5));
        QCOMPARE(check.listing[1].next, QStringLiteral("Advance Screen 1 to Slide 2"));
        QCOMPARE(check.listing[2].next,
                 QStringLiteral(" Advance Screen 2 to Slide 3\r\nAdvance Screen 1 to Slide 4"));
        QCOMPARE(check.listing[3].next, QStringLiteral("(moves no screen)"));
        QCOMPARE(check.listing[4].next, QStringLiteral("End of Slide Show"));
        // Previous matters where a step moves fewer than three screens.
        QVERIFY(check.listing[0].previous.startsWith(" Beginning of Slide Show \r\n"));
        QVERIFY(check.listing[1].previous.contains(
            "Screen 1 to slide 2, Screen 2 to slide 1, Screen 3 to slide 1"));
        QVERIFY(check.listing[2].previous.contains("Screen 3 to slide 1"));
        QVERIFY(check.listing[3].previous.isEmpty()); // never stepped back to
    }

    void slidesPastADecksEndAreFoundForTheMovedScreenOnly()
    {
        // Screen 1 is meant to be on slide 7 from line 3 on; only line 3 moves it there.
        const ScriptCheck check =
            checkScript("0,1,1,1\r\n1,2,1,1\r\n4,7,2,1\r\n2,7,3,1\r\n3,7,3,6\r\n");
        QVERIFY(check.findings.empty());
        QCOMPARE(summary(checkSlideRanges(check, {6, 6, 6})), QStringList{"3:1:slide-range"});
        QCOMPARE(summary(checkSlideRanges(check, {6, 6, 5})),
                 (QStringList{"3:1:slide-range", "5:3:slide-range"}));
        QVERIFY(checkSlideRanges(check, {std::nullopt, 6, 6}).empty());
    }

    void theStoryboardWalksTheShowAsTheScreensWill()
    {
        const ScriptCheck check =
            checkScript("0,1,1,1\r\n10,2,3,4\r\n1,9,3,4\r\n7,2,x,5\r\n0,1,1,1\r\n");
        const auto rows = storyRows(check, {6, 6, 6});
        QCOMPARE(rows.size(), size_t(5));
        const auto slides = [&](size_t row) {
            return std::array<int, 3>{rows[row].screens[0].slide, rows[row].screens[1].slide,
                                      rows[row].screens[2].slide};
        };
        const auto moved = [&](size_t row) {
            return std::array<bool, 3>{rows[row].screens[0].moved, rows[row].screens[1].moved,
                                       rows[row].screens[2].moved};
        };
        QCOMPARE(slides(0), (std::array<int, 3>{1, 1, 1}));
        QCOMPARE(moved(0), (std::array<bool, 3>{false, false, false}));
        QCOMPARE(slides(1), (std::array<int, 3>{2, 3, 4}));
        QCOMPARE(moved(1), (std::array<bool, 3>{true, true, true}));
        // Slide 9 of a 6-slide deck is refused: Screen 1 stays on 2.
        QCOMPARE(slides(2), (std::array<int, 3>{2, 3, 4}));
        QCOMPARE(moved(2), (std::array<bool, 3>{false, false, false}));
        QVERIFY(!rows[2].screens[0].note.isEmpty());
        // Screen 2's "x" is no number: only Screen 3 moves.
        QCOMPARE(slides(3), (std::array<int, 3>{2, 3, 5}));
        QCOMPARE(moved(3), (std::array<bool, 3>{false, false, true}));
        // A code 0 step moves nothing, but the previews go back to slide 1.
        QCOMPARE(slides(4), (std::array<int, 3>{2, 3, 5}));
        QCOMPARE(moved(4), (std::array<bool, 3>{false, false, false}));
        for (const StoryScreen &screen : rows[4].screens) {
            QVERIFY(screen.note.contains("preview shows slide 1"));
        }
    }

    void exitStatusAndJsonFollowTheFindings_data()
    {
        QTest::addColumn<QString>("script"); // empty: no such file
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("kinds");
        QTest::newRow("clean") << "0,1,1,1\r\n1,2,1,1\r\n" << 0 << QStringList{};
        QTest::newRow("a note only") << "0,1,1,1\r\n1, 2,1,1\r\n"
                                     << 0 << QStringList{"field-blanks"};
        QTest::newRow("a problem") << "0,1,1,1\r\n16,2,1,1\r\n1,2,1,1\r\n"
                                   << 1 << QStringList{"code"};
        QTest::newRow("no such file") << QString() << 2 << QStringList{};
    }

    void exitStatusAndJsonFollowTheFindings()
    {
        QFETCH(QString, script);
        QFETCH(int, status);
        QFETCH(QStringList, kinds);
        QTemporaryDir dir;
        Options options;
        options.script = dir.filePath("show.txt");
        options.json = true;
        if (!script.isEmpty()) {
            QFile file(options.script);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(script.toLatin1());
        }
        QString outText;
        QString errText;
        QTextStream out(&outText);
        QTextStream err(&errText);
        QCOMPARE(runCheck(options, CheckEnvironment{}, out, err), status);
        QJsonParseError parseError;
        const QJsonObject json = QJsonDocument::fromJson(outText.toUtf8(), &parseError).object();
        QCOMPARE(parseError.error, QJsonParseError::NoError);
        QStringList found;
        for (const QJsonValue &f : json.value("findings").toArray()) {
            found << f.toObject().value("kind").toString();
        }
        QCOMPARE(found, kinds);
        QCOMPARE(json.value("exitStatus").toInt(), status);
        QCOMPARE(errText.isEmpty(), status != 2);
    }

    void argumentsAreReadAsTheUsageSays_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("png");
        QTest::newRow("script") << QStringList{"s.txt"} << true << QString();
        QTest::newRow("decks and storyboard")
            << QStringList{"s.txt", "a.pdf", "b.pdf", "c.pdf", "--storyboard", "x.html"} << true
            << QString();
        QTest::newRow("layout with picture")
            << QStringList{"s.txt", "--layout", "l.png", "--json"} << true << "l.png";
        QTest::newRow("layout before the script")
            << QStringList{"--layout", "s.txt"} << true << QString();
        QTest::newRow("layout alone") << QStringList{"--layout"} << true << QString();
        QTest::newRow("two decks") << QStringList{"s.txt", "a.pdf", "b.pdf"} << false << QString();
        QTest::newRow("storyboard without decks")
            << QStringList{"s.txt", "--storyboard", "x.html"} << false << QString();
        QTest::newRow("nothing") << QStringList{} << false << QString();
        QTest::newRow("unknown option") << QStringList{"s.txt", "--fast"} << false << QString();
        QTest::newRow("bad aspect")
            << QStringList{"s.txt", "--aspect", "wide"} << false << QString();
    }

    void argumentsAreReadAsTheUsageSays()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, valid);
        QFETCH(QString, png);
        QString error;
        const Options options = parseArguments(arguments, error);
        QCOMPARE(error.isEmpty(), valid);
        if (valid) {
            QCOMPARE(options.layoutPng, png);
        }
    }
};

CORVANE_TEST_MAIN(TestScriptCheck)
#include "tst_script_check.moc"
