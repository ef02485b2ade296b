// Where the three windows land: saved screen numbers against injected display lists.

#include "show_check/layout.h"

#include "platform/testing/test_main.h"
#include "presentation_automation/automation_error.h"
#include "presentation_automation/placement/testing/placement_cases.h"

#include <QObject>
#include <QRegion>

using namespace showcheck;

namespace {

using Placements = std::array<Placement, 3>;
using Displays = std::vector<showcheck::Display>;
using OnDisplay = std::array<int, 3>;

QStringList summary(const std::vector<Finding> &findings)
{
    QStringList out;
    for (const Finding &f : findings) {
        out << QStringLiteral("%1:%2").arg(f.screen).arg(f.kind);
    }
    return out;
}

const Placements corvaneStart{{{-768, 0, 768}, {0, 0, 768}, {769, 0, 768}}};

} // namespace

Q_DECLARE_METATYPE(Placements)
Q_DECLARE_METATYPE(Displays)
Q_DECLARE_METATYPE(OnDisplay)

class TestLayout : public QObject
{
    Q_OBJECT

private slots:
    void windowsLandAsTheNumbersSay_data()
    {
        QTest::addColumn<Displays>("displays");
        QTest::addColumn<Placements>("placement");
        QTest::addColumn<double>("aspect");
        QTest::addColumn<OnDisplay>("onDisplay");
        QTest::addColumn<QRect>("screen1Rect");
        QTest::addColumn<QStringList>("expected");

        const Displays threeSideBySide{{"left", QRect(-1024, 0, 1024, 768), false},
                                       {"middle", QRect(0, 0, 1024, 768), true},
                                       {"right", QRect(1024, 0, 1024, 768), false}};
        QTest::newRow("three side by side")
            << threeSideBySide << Placements{{{-768, 0, 768}, {0, 0, 768}, {768, 0, 768}}}
            << 4.0 / 3.0 << OnDisplay{0, 1, 2} << QRect(-1024, 0, 1024, 768) << QStringList{};
        // 769 pt is 1025 px: one column of Screen 3 hangs over the right edge.
        QTest::newRow("Corvane's start numbers, three side by side")
            << threeSideBySide << corvaneStart << 4.0 / 3.0 << OnDisplay{0, 1, 2}
            << QRect(-1024, 0, 1024, 768) << QStringList{"3:window-part-off"};
        QTest::newRow("one display missing")
            << Displays{{"only", QRect(0, 0, 1024, 768), true}} << corvaneStart << 4.0 / 3.0
            << OnDisplay{-1, 0, -1} << QRect(-1024, 0, 1024, 768)
            << QStringList{"1:window-off", "3:window-off"};
        // The system's desktop starts at the left display; the numbers still count from the
        // primary's corner, and a window taller than its display is cut to it.
        QTest::newRow("primary not at the corner")
            << Displays{{"wall", QRect(0, 0, 1920, 1080), false},
                        {"desk", QRect(1920, 0, 1024, 768), true}}
            << Placements{{{-1440, 0, 1440}, {0, 0, 768}, {768, 0, 768}}} << 4.0 / 3.0
            << OnDisplay{0, 1, -1} << QRect(-1920, 0, 1920, 1080) << QStringList{"3:window-off"};
        QTest::newRow("primary below another display")
            << Displays{{"top", QRect(0, 0, 1024, 768), false},
                        {"main", QRect(0, 768, 1024, 768), true}}
            << Placements{{{0, -576, 768}, {0, 0, 768}, {0, 288, 384}}} << 4.0 / 3.0
            << OnDisplay{0, 1, 1} << QRect(0, -768, 1024, 768) << QStringList{"2:overlap"};
        // Screen 3 starts low: the host fits it above the display's bottom, so nothing falls off.
        QTest::newRow("overlap and a window starting low")
            << Displays{{"main", QRect(0, 0, 1920, 1080), true}}
            << Placements{{{0, 0, 720}, {600, 0, 720}, {0, 540, 720}}} << 4.0 / 3.0
            << OnDisplay{0, 0, 0} << QRect(0, 0, 960, 720) << QStringList{"1:overlap"};
        QTest::newRow("wide slides fill a wide display")
            << Displays{{"main", QRect(0, 0, 1920, 1080), true},
                        {"beside", QRect(1920, 0, 1920, 1080), false},
                        {"far", QRect(3840, 0, 1920, 1080), false}}
            << Placements{{{0, 0, 1440}, {1440, 0, 1440}, {2880, 0, 1440}}} << 16.0 / 9.0
            << OnDisplay{0, 1, 2} << QRect(0, 0, 1920, 1080) << QStringList{};
        QTest::newRow("no display")
            << Displays{} << corvaneStart << 4.0 / 3.0 << OnDisplay{-1, -1, -1}
            << QRect(-1024, 0, 1024, 768) << QStringList{"0:no-display"};
        QTest::newRow("no display named primary: the first stands in")
            << Displays{{"a", QRect(500, 200, 1024, 768), false},
                        {"b", QRect(1524, 200, 1024, 768), false}}
            << Placements{{{0, 0, 768}, {768, 0, 768}, {768, 0, 384}}} << 4.0 / 3.0
            << OnDisplay{0, 1, 1} << QRect(0, 0, 1024, 768) << QStringList{"2:overlap"};
    }

    void windowsLandAsTheNumbersSay()
    {
        QFETCH(Displays, displays);
        QFETCH(Placements, placement);
        QFETCH(double, aspect);
        QFETCH(OnDisplay, onDisplay);
        QFETCH(QRect, screen1Rect);
        QFETCH(QStringList, expected);
        const Layout layout = layOut(placement, displays, aspect);
        QCOMPARE(summary(layout.findings), expected);
        for (size_t s = 0; s < 3; ++s) {
            QCOMPARE(layout.windows[s].display, onDisplay[s]);
        }
        QCOMPARE(layout.windows[0].rect, screen1Rect);
        const int primaries = static_cast<int>(std::count_if(
            layout.displays.begin(), layout.displays.end(), [](const showcheck::Display &d) {
                return d.primary && d.geometry.topLeft() == QPoint(0, 0);
            }));
        QCOMPARE(primaries, displays.empty() ? 0 : 1);

        const QImage picture = drawLayout(layout);
        QVERIFY(!picture.isNull());
        QVERIFY(picture.width() <= 1000);
    }

    void landsWhereTheHostPlacesIt()
    {
        for (const auto &c : pa::testing::placementCases()) {
            Displays displays;
            for (size_t d = 0; d < c.layout.displays.size(); ++d) {
                displays.push_back({QString(), c.layout.displays[d], d == c.layout.primary});
            }
            const Placement p{int(c.placement.left), int(c.placement.top), int(c.placement.width)};
            const Layout layout = layOut({p, p, p}, displays, c.slide.width() / c.slide.height());
            const QPoint origin = c.layout.origin();
            QVERIFY2(layout.windows[0].rect == c.rect.translated(-origin), c.name);
            QVERIFY2(layout.windows[0].display == c.display, c.name);
            const bool off =
                std::any_of(layout.findings.begin(), layout.findings.end(), [](const Finding &f) {
                    return f.kind.startsWith(QLatin1String("window-"));
                });
            // Said to fall off exactly when the host's window would reach past every display.
            QRegion desktop;
            for (const QRect &d : c.layout.displays) {
                desktop += d;
            }
            QVERIFY2(off == !QRegion(c.rect).subtracted(desktop).isEmpty(), c.name);
        }
    }

    void savedNumbersAreAppliedAsAdjustWould_data()
    {
        QTest::addColumn<QString>("content");
        QTest::addColumn<Placements>("expected");
        QTest::addColumn<QStringList>("findings");
        QTest::newRow("saved defaults") << "-768,0,768,0,0,768,769,0,768,1\r\n"
                                        << corvaneStart << QStringList{};
        QTest::newRow("blanks and fractions")
            << " 1024 ,0,768.5,0,0,768,-768,0,768,1\r\n"
            << Placements{{{1024, 0, 768}, {0, 0, 768}, {-768, 0, 768}}} << QStringList{};
        QTest::newRow("a box holding abc keeps the start number")
            << "-768,0,768,abc,0,768,769,0,768,1\r\n"
            << corvaneStart << QStringList{"2:screen-number"};
        QTest::newRow("out of range keeps the start number")
            << "-768,0,768,0,0,768,769,0,40000,1\r\n"
            << corvaneStart << QStringList{"3:screen-number"};
        QTest::newRow("a width of 0 is refused")
            << "-768,0,0,0,0,768,769,0,768,1\r\n"
            << Placements{{{-768, 0, 0}, {0, 0, 768}, {769, 0, 768}}}
            << QStringList{"1:screen-number"};
    }

    void savedNumbersAreAppliedAsAdjustWould()
    {
        QFETCH(QString, content);
        QFETCH(Placements, expected);
        QFETCH(QStringList, findings);
        std::vector<Finding> found;
        const Placements placement = placementFromFile(content, found);
        for (size_t s = 0; s < 3; ++s) {
            QCOMPARE(placement[s].left, expected[s].left);
            QCOMPARE(placement[s].top, expected[s].top);
            QCOMPARE(placement[s].width, expected[s].width);
        }
        QCOMPARE(summary(found), findings);
    }

    void aFileWithTooFewNumbersIsUnreadable()
    {
        std::vector<Finding> found;
        QVERIFY_THROWS_EXCEPTION(pa::AutomationError, placementFromFile("1,2,3\r\n", found));
    }
};

CORVANE_TEST_MAIN(TestLayout)
#include "tst_layout.moc"
