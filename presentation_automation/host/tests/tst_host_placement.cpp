// Placement arithmetic over made-up display layouts, and show windows put back when displays
// come and go.

#include "presentation_automation/host/shows/show_window.h"
#include "presentation_automation/placement/placement.h"
#include "presentation_automation/placement/testing/placement_cases.h"

#include "platform/testing/test_main.h"

using namespace pa;
using namespace pa::host;

namespace {

// The primary in the middle of three, as an operator's desk often has it.
const DisplayLayout threeDisplays{
    {QRect(1024, 0, 1920, 1080), QRect(0, 0, 1024, 768), QRect(2944, 0, 1280, 1024)}, 0};

const QSizeF fourByThree(720, 540);

} // namespace

Q_DECLARE_METATYPE(DisplayLayout)
Q_DECLARE_METATYPE(RequestedPlacement)

class TestHostPlacement : public QObject
{
    Q_OBJECT

private slots:
    void windowRects_data()
    {
        QTest::addColumn<DisplayLayout>("layout");
        QTest::addColumn<RequestedPlacement>("placement");
        QTest::addColumn<QSizeF>("slide");
        QTest::addColumn<QRect>("expected");

        for (const auto &c : pa::testing::placementCases()) {
            QTest::newRow(c.name) << c.layout << c.placement << c.slide << c.rect;
        }
        QTest::newRow("a page of no size: drawn 4:3")
            << threeDisplays << RequestedPlacement{0, 0, 300} << QSizeF()
            << QRect(1024, 0, 400, 300);
        QTest::newRow("fractions of a point round to pixels")
            << threeDisplays << RequestedPlacement{0.4, 0.3, 0.75} << fourByThree
            << QRect(1025, 0, 1, 1);
    }

    void windowRects()
    {
        QFETCH(DisplayLayout, layout);
        QFETCH(RequestedPlacement, placement);
        QFETCH(QSizeF, slide);
        QFETCH(QRect, expected);
        QCOMPARE(windowRect(layout, placement, slide), expected);
    }

    void landsOnTheDisplayOfTheTable()
    {
        for (const auto &c : pa::testing::placementCases()) {
            const auto display = windowLanding(c.layout, c.placement, c.slide).display;
            QVERIFY2((display ? static_cast<int>(*display) : -1) == c.display, c.name);
        }
    }

    void displayHoldingARectangle_data()
    {
        QTest::addColumn<QRect>("rect");
        QTest::addColumn<int>("display"); // -1: none

        QTest::newRow("corner on the left display") << QRect(10, 10, 3000, 50) << 1;
        QTest::newRow("corner on the primary") << QRect(1024, 0, 10, 10) << 0;
        QTest::newRow("corner off, mostly on the right") << QRect(3000, -100, 400, 400) << 2;
        QTest::newRow("below all of them") << QRect(0, 2000, 800, 600) << -1;
    }

    void displayHoldingARectangle()
    {
        QFETCH(QRect, rect);
        QFETCH(int, display);
        const auto held = displayHolding(threeDisplays, rect);
        QCOMPARE(held ? static_cast<int>(*held) : -1, display);
    }

    void showStartsOnThePrimaryAndReadsBackWhatWasSet()
    {
        QCOMPARE(fullPrimary(threeDisplays).width, 1440.0);
        QCOMPARE(fullPrimary(DisplayLayout{}).width, 768.0);
        ShowWindow show(1, plainDeck(5), QStringLiteral("deck"));
        show.setSlideSize(fourByThree);
        show.setRequestedLeft(-768.25);
        show.setRequestedTop(12.5);
        show.setRequestedWidth(767.75);
        QCOMPARE(show.requested().left, -768.25);
        QCOMPARE(show.requested().top, 12.5);
        QCOMPARE(show.requested().width, 767.75);
        show.setRequested({-1.5, 2.25, 100});
        QCOMPARE(show.requested().left, -1.5);
        QCOMPARE(show.requested().top, 2.25);
        QCOMPARE(show.requested().width, 100.0);
    }

    void showsComeBackWithTheirDisplay()
    {
        ShowWindow onLeft(1, plainDeck(3), QStringLiteral("left"));
        ShowWindow offAll(2, plainDeck(3), QStringLiteral("off"));
        for (ShowWindow *w : {&onLeft, &offAll}) {
            w->setSlideSize(fourByThree);
        }
        onLeft.setRequestedWidth(768);
        onLeft.setRequestedLeft(-768);
        offAll.setRequestedWidth(768);
        offAll.setRequestedLeft(-5000);
        onLeft.placeOn(threeDisplays);
        offAll.placeOn(threeDisplays);
        QCOMPARE(offAll.geometry(), QRect(-5643, 0, 1024, 768));

        // The left display went away and the window system moved both windows.
        for (ShowWindow *w : {&onLeft, &offAll}) {
            w->setGeometry(1100, 100, 640, 480);
        }
        const DisplayLayout withoutLeft{{QRect(1024, 0, 1920, 1080), QRect(2944, 0, 1280, 1024)},
                                        0};
        onLeft.placeOn(withoutLeft, false);
        QCOMPARE(onLeft.geometry(), QRect(1100, 100, 640, 480));

        // It is back: the show whose place lies on it returns; the other stays put.
        onLeft.placeOn(threeDisplays, false);
        offAll.placeOn(threeDisplays, false);
        QCOMPARE(onLeft.geometry(), QRect(0, 0, 1024, 768));
        QCOMPARE(offAll.geometry(), QRect(1100, 100, 640, 480));
    }

    void loopingDecksWrapOthersStay_data()
    {
        QTest::addColumn<bool>("loops");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("afterNext");
        QTest::newRow("loops") << true << 3 << 1;
        QTest::newRow("stays") << false << 3 << 3;
        QTest::newRow("one slide, looping") << true << 1 << 1;
    }

    void loopingDecksWrapOthersStay()
    {
        QFETCH(bool, loops);
        QFETCH(int, count);
        QFETCH(int, afterNext);
        ShowWindow show(1, plainDeck(count), QStringLiteral("deck"));
        show.setLoop(loops);
        show.gotoSlide(count);
        show.next();
        QCOMPARE(show.currentSlide(), afterNext);
        show.previous();
        QCOMPARE(show.currentSlide(), std::max(1, afterNext - 1));
    }
};

CORVANE_TEST_MAIN(TestHostPlacement)
#include "tst_host_placement.moc"
