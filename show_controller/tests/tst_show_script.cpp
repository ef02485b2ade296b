// The show script's rules: lines, fields, step codes, descriptions and the orders in which a
// step's screens are switched and their pictures refreshed.

#include "show_controller/show_script.h"
#include "show_controller/steps_ahead.h"
#include "step_texts.h"

#include "platform/error.h"
#include "platform/testing/test_main.h"

#include <QObject>

using namespace showscript;

namespace {

using Order = std::array<int, 3>;

} // namespace

Q_DECLARE_METATYPE(Order)

class TestShowScript : public QObject
{
    Q_OBJECT

private slots:
    void linesAreCutAtCrLfOnly()
    {
        QCOMPARE(splitLines("a\r\nb\r\n"), (QStringList{"a", "b", ""}));
        QCOMPARE(splitLines("a\nb\n"), (QStringList{"a\nb\n"}));
        QCOMPARE(splitLines("a\rb\r\n\r\nc"), (QStringList{"a\rb", "", "c"}));
        QCOMPARE(splitLines("\r\n"), (QStringList{"", ""}));
        QVERIFY(splitLines("").isEmpty());
    }

    void aLineOutsideTheScriptReadsEmptyOrFails()
    {
        const QStringList lines{"0,1,1,1", "1,2,1,1"};
        QCOMPARE(lineAt(lines, 1), QStringLiteral("1,2,1,1"));
        QCOMPARE(lineAt(lines, 2), QString());
        QCOMPARE(lineAt(lines, -1), QString());
        QCOMPARE(lineAt({}, 0), QString());
        QCOMPARE(takeLine(lines, 0), QStringLiteral("0,1,1,1"));
        QVERIFY_THROWS_EXCEPTION(pa::AutomationError, takeLine(lines, 2));
        QVERIFY_THROWS_EXCEPTION(pa::AutomationError, takeLine(lines, -1));
    }

    void fieldsKeepBlanksAndEmptyFields()
    {
        QCOMPARE(fieldsOf("10, 3 ,,x,9"), (QStringList{"10", " 3 ", "", "x", "9"}));
        QCOMPARE(fieldsOf("4"), QStringList{"4"});
        QVERIFY(fieldsOf("").isEmpty());
        QCOMPARE(fieldAt({"1", "2"}, 1), QStringLiteral("2"));
        QVERIFY_THROWS_EXCEPTION(pa::AutomationError, fieldAt({"1", "2"}, 2));
    }

    void stepCodesAreExactTexts_data()
    {
        QTest::addColumn<QString>("field0");
        QTest::addColumn<int>("code"); // -1: no step code
        for (int n = 0; n <= 15; ++n) {
            QTest::addRow("%d", n) << QString::number(n) << n;
        }
        QTest::newRow("leading zero") << "01" << -1;
        QTest::newRow("blank before") << " 1" << -1;
        QTest::newRow("blank after") << "1 " << -1;
        QTest::newRow("above 15") << "16" << -1;
        QTest::newRow("negative") << "-1" << -1;
        QTest::newRow("letter") << "a" << -1;
        QTest::newRow("empty") << "" << -1;
        QTest::newRow("fraction") << "1.0" << -1;
    }
    void stepCodesAreExactTexts()
    {
        QFETCH(QString, field0);
        QFETCH(int, code);
        const std::optional<int> found = stepCode({field0, "1", "1", "1"});
        QCOMPARE(found.value_or(-1), code);
    }

    void eachCodeHasItsDescriptionAndOrders_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("description");
        QTest::addColumn<Order>("switchBack");
        QTest::addColumn<Order>("pictures");
        const QString a = "7", b = " 8", c = "009";
        const QString nl = "\r\n";
        QTest::newRow("0") << 0 << "Beginning of Slide Show" << Order{1, 2, 3} << Order{1, 2, 3};
        QTest::newRow("1") << 1 << d1(a) << Order{1, 2, 3} << Order{1, 2, 3};
        QTest::newRow("2") << 2 << "Advance Screen 2 to Slide " + b << Order{2, 1, 3}
                           << Order{2, 1, 3};
        QTest::newRow("3") << 3 << d3(c) << Order{3, 1, 2} << Order{3, 1, 2};
        QTest::newRow("4") << 4 << d1(a) + nl + d2(b) << Order{1, 2, 3} << Order{1, 2, 3};
        QTest::newRow("5") << 5 << d1(a) + nl + d3(c) << Order{1, 3, 2} << Order{1, 3, 2};
        QTest::newRow("6") << 6 << d2(b) + nl + d1(a) << Order{2, 1, 3} << Order{1, 2, 3};
        QTest::newRow("7") << 7 << d2(b) + nl + d3(c) << Order{2, 3, 1} << Order{2, 3, 1};
        QTest::newRow("8") << 8 << d3(c) + nl + d1(a) << Order{3, 1, 2} << Order{1, 3, 2};
        QTest::newRow("9") << 9 << d3(c) + nl + d2(b) << Order{3, 2, 1} << Order{2, 3, 1};
        QTest::newRow("10") << 10 << d1(a) + nl + d2(b) + nl + d3(c) << Order{1, 2, 3}
                            << Order{1, 2, 3};
        QTest::newRow("11") << 11 << d1(a) + nl + d3(c) + nl + d2(b) << Order{1, 3, 2}
                            << Order{1, 2, 3};
        QTest::newRow("12") << 12 << d2(b) + nl + d1(a) + nl + d3(c) << Order{2, 1, 3}
                            << Order{1, 2, 3};
        QTest::newRow("13") << 13 << d2(b) + nl + d3(c) + nl + d1(a) << Order{2, 3, 1}
                            << Order{1, 2, 3};
        QTest::newRow("14") << 14 << d3(c) + nl + d1(a) + nl + d2(b) << Order{3, 1, 2}
                            << Order{1, 2, 3};
        QTest::newRow("15") << 15 << d3(c) + nl + d2(b) + nl + d1(a) << Order{3, 2, 1}
                            << Order{1, 2, 3};
    }
    void eachCodeHasItsDescriptionAndOrders()
    {
        QFETCH(int, code);
        QFETCH(QString, description);
        QFETCH(Order, switchBack);
        QFETCH(Order, pictures);
        const QStringList fields{QString::number(code), "7", " 8", "009", "ignored"};
        QCOMPARE(stepDescription(fields), description);
        QCOMPARE(switchOrder(code), switchBack);
        QCOMPARE(pictureOrder(code), pictures);
        // Going forward a code switches exactly the screens it names, in the order going back.
        const std::vector<int> named = screensNamed(code);
        QVERIFY(std::equal(named.begin(), named.end(), switchBack.begin()));
        QCOMPARE(int(named.size()), code == 0 ? 0 : code <= 3 ? 1 : code <= 9 ? 2 : 3);
    }

    void aDescriptionNeedsOnlyTheFieldsOfItsScreens()
    {
        QCOMPARE(stepDescription({"1", "5"}), d1("5"));
        QCOMPARE(stepDescription({"0"}), QStringLiteral("Beginning of Slide Show"));
        QCOMPARE(stepDescription({"3", "", "", ""}), d3(""));
        QVERIFY_THROWS_EXCEPTION(pa::AutomationError, stepDescription({"4", "5"}));
        QVERIFY_THROWS_EXCEPTION(pa::AutomationError, stepDescription({"3", "1", "1"}));
        QVERIFY_THROWS_EXCEPTION(pa::AutomationError, stepDescription({"16", "1", "1", "1"}));
    }

    // What the next Next puts each screen on, and the hint that follows from it.
    void whatComesNext_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("lineNumber");
        QTest::addColumn<QString>("onNext"); // per screen: the slide, "-" when it stays
        QTest::addColumn<QString>("ahead");  // per screen: the hinted slides
        QTest::newRow("the first step") << "0,1,1,1|6,4,3,2|" << 2 << "4 3 -"
                                        << "4 3 -";
        QTest::newRow("with the way back") << "0,1,1,1|6,4,3,2|1,7,3,2" << 3 << "7 - -"
                                           << "7,1 1 1";
        QTest::newRow("a field that is no number") << "0,1,1,1|10,x,3, 5 " << 2 << "- 3 5"
                                                   << "- 3 5";
        QTest::newRow("not a step code") << "0,1,1,1|01,2,2,2" << 2 << "- - -"
                                         << "- - -";
        QTest::newRow("the end of the show") << "0,1,1,1|1,2,1,1|" << 4 << "- - -"
                                             << "2 1 1";
        QTest::newRow("the opening line moves nothing") << "0,1,1,1" << 1 << "- - -"
                                                        << "- - -";
    }
    void whatComesNext()
    {
        QFETCH(QString, script);
        QFETCH(int, lineNumber);
        QFETCH(QString, onNext);
        QFETCH(QString, ahead);
        const QStringList lines = script.split(QLatin1Char('|'));
        QStringList next, hints;
        const auto onNextSlides = showscript::slidesOnNext(lines, lineNumber);
        const auto aheadSlides = showscript::slidesAhead(lines, lineNumber);
        for (size_t i = 0; i < 3; ++i) {
            next << (onNextSlides[i] ? QString::number(*onNextSlides[i]) : QStringLiteral("-"));
            QStringList slides;
            for (std::int32_t slide : aheadSlides[i]) {
                slides << QString::number(slide);
            }
            hints << (slides.isEmpty() ? QStringLiteral("-") : slides.join(QLatin1Char(',')));
        }
        QCOMPARE(next.join(QLatin1Char(' ')), onNext);
        QCOMPARE(hints.join(QLatin1Char(' ')), ahead);
    }
};

CORVANE_TEST_MAIN(TestShowScript)
#include "tst_show_script.moc"
