// frmControl: walking the show script forward and back, per-screen stepping and reset.

#include "control_fixture.h"
#include "step_texts.h"

#include "platform/testing/test_main.h"

namespace {

Calls switched(int screen, int slide)
{
    const std::string pres = "pres " + std::to_string(screen);
    return {"Activate(" + pres + ")", "GotoSlide(" + pres + ", " + std::to_string(slide) + ", -1)"};
}

Calls activated(std::initializer_list<int> screens)
{
    Calls calls;
    for (int screen : screens) {
        calls.push_back("Activate(pres " + std::to_string(screen) + ")");
    }
    return calls;
}

Calls operator+(Calls a, const Calls &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const QString nl = QStringLiteral("\r\n");

// A show with three loaded screens and a script, the recorded calls cleared.
struct Show : ControlFixture
{
    explicit Show(const QByteArray &script)
    {
        loadThree();
        loadScript(script);
        app.clearCalls();
    }

    Calls picture(int screen, int slide) const
    {
        return {"SlidesItem(pres " + std::to_string(screen) + ", " + std::to_string(slide) + ")",
                exportCall(screen, slide, screen)};
    }

    std::array<int, 3> counters() const
    {
        return {window->Screen1Slide, window->Screen2Slide, window->Screen3Slide};
    }

    // Whether each preview shows the given slide of its screen's own deck.
    bool previewsShow(std::array<int, 3> slides) const
    {
        for (int screen = 1; screen <= 3; ++screen) {
            if (!sameColour(previewColour(screen), slideColour(screen, slides[screen - 1]))) {
                return false;
            }
        }
        return true;
    }

    void next() { click("cmdNextSlide"); }
    void previous() { click("cmdPreviousSlide"); }
};

using Order = std::vector<int>;

} // namespace

Q_DECLARE_METATYPE(Order)

class TestControlStep : public QObject
{
    Q_OBJECT

private slots:
    void nextWalksTheFourLineScript()
    {
        Show s("0,1,1,1\r\n1,2,1,1\r\n10,3,2,2\r\n6,4,3,2\r\n");

        s.next();
        QCOMPARE(s.app.calls(), switched(1, 2) + s.picture(1, 2));
        QCOMPARE(s.box1(), d1("2"));
        QCOMPARE(s.box2(), d1("3") + nl + d2("2") + nl + d3("2"));
        QCOMPARE(s.window->LineNumber, std::int16_t(3));
        QCOMPARE(s.counters(), (std::array<int, 3>{2, 1, 1}));
        QVERIFY(s.previewsShow({2, 1, 1}));

        s.app.clearCalls();
        s.next();
        QCOMPARE(s.app.calls(), switched(1, 3) + switched(2, 2) + switched(3, 2) + s.picture(1, 3) +
                                    s.picture(2, 2) + s.picture(3, 2));
        QCOMPARE(s.box1(), d1("3") + nl + d2("2") + nl + d3("2"));
        QCOMPARE(s.box2(), d2("3") + nl + d1("4"));

        // Code 6 switches Screen 2 before Screen 1, but refreshes Screen 1's picture first.
        s.app.clearCalls();
        s.next();
        QCOMPARE(s.app.calls(),
                 switched(2, 3) + switched(1, 4) + s.picture(1, 4) + s.picture(2, 3));
        QCOMPARE(s.box1(), d2("3") + nl + d1("4"));
        QCOMPARE(s.box2(), QStringLiteral("End of Slide Show"));
        QCOMPARE(s.window->LineNumber, std::int16_t(5));
        QCOMPARE(s.counters(), (std::array<int, 3>{4, 3, 2}));
        QVERIFY(s.previewsShow({4, 3, 2}));

        // The final CR LF's empty line ends the show; further presses repeat it.
        for (int press = 0; press < 2; ++press) {
            s.app.clearCalls();
            s.next();
            QVERIFY(s.app.calls().empty());
            QCOMPARE(s.box1(), QStringLiteral("End of Slide Show"));
            QCOMPARE(s.box2(), QStringLiteral("End of Slide Show"));
            QCOMPARE(s.window->LineNumber, std::int16_t(5));
        }
    }

    void previousWalksTheThreeLineScriptBack()
    {
        Show s("0,1,1,1\r\n1,2,1,1\r\n2,2,5,1\r\n");
        s.next();
        s.next();
        QCOMPARE(s.window->LineNumber, std::int16_t(4));
        QCOMPARE(s.counters(), (std::array<int, 3>{2, 5, 1}));

        s.app.clearCalls();
        s.previous();
        QCOMPARE(s.window->LineNumber, std::int16_t(3));
        QCOMPARE(s.app.calls(), switched(1, 2) + switched(2, 1) + switched(3, 1) + s.picture(1, 2) +
                                    s.picture(2, 1) + s.picture(3, 1));
        QCOMPARE(s.box1(), d1("2"));
        QCOMPARE(s.box2(), QStringLiteral("Advance Screen 2 to Slide 5"));
        QCOMPARE(s.counters(), (std::array<int, 3>{2, 1, 1}));
        QVERIFY(s.previewsShow({2, 1, 1}));

        s.app.clearCalls();
        s.previous();
        QCOMPARE(s.window->LineNumber, std::int16_t(2));
        QCOMPARE(s.app.calls(), switched(1, 1) + switched(2, 1) + switched(3, 1) + s.picture(1, 1) +
                                    s.picture(2, 1) + s.picture(3, 1));
        QCOMPARE(s.box1(), QStringLiteral(" Beginning of Slide Show "));
        QCOMPARE(s.box2(), d1("2"));
        QCOMPARE(s.counters(), (std::array<int, 3>{1, 1, 1}));

        s.app.clearCalls();
        s.previous();
        QVERIFY(s.app.calls().empty());
        QCOMPARE(s.window->LineNumber, std::int16_t(2));
        QCOMPARE(s.box1(), QStringLiteral(" Beginning of Slide Show "));
        QCOMPARE(s.box2(), d1("2"));

        // Next after Previous takes the step the next-step box shows.
        s.next();
        QCOMPARE(s.window->LineNumber, std::int16_t(3));
        QCOMPARE(s.box1(), d1("2"));
        QCOMPARE(s.counters(), (std::array<int, 3>{2, 1, 1}));
    }

    void everyCodeForwardAndBack_data()
    {
        // Per code: the screens it names in its order, the order going back, the picture order.
        QTest::addColumn<int>("code");
        QTest::addColumn<Order>("named");
        QTest::addColumn<Order>("backOrder");
        QTest::addColumn<Order>("pictureOrder");
        QTest::newRow("0") << 0 << Order{} << Order{1, 2, 3} << Order{1, 2, 3};
        QTest::newRow("1") << 1 << Order{1} << Order{1, 2, 3} << Order{1, 2, 3};
        QTest::newRow("2") << 2 << Order{2} << Order{2, 1, 3} << Order{2, 1, 3};
        QTest::newRow("3") << 3 << Order{3} << Order{3, 1, 2} << Order{3, 1, 2};
        QTest::newRow("4") << 4 << Order{1, 2} << Order{1, 2, 3} << Order{1, 2, 3};
        QTest::newRow("5") << 5 << Order{1, 3} << Order{1, 3, 2} << Order{1, 3, 2};
        QTest::newRow("6") << 6 << Order{2, 1} << Order{2, 1, 3} << Order{1, 2, 3};
        QTest::newRow("7") << 7 << Order{2, 3} << Order{2, 3, 1} << Order{2, 3, 1};
        QTest::newRow("8") << 8 << Order{3, 1} << Order{3, 1, 2} << Order{1, 3, 2};
        QTest::newRow("9") << 9 << Order{3, 2} << Order{3, 2, 1} << Order{2, 3, 1};
        QTest::newRow("10") << 10 << Order{1, 2, 3} << Order{1, 2, 3} << Order{1, 2, 3};
        QTest::newRow("11") << 11 << Order{1, 3, 2} << Order{1, 3, 2} << Order{1, 2, 3};
        QTest::newRow("12") << 12 << Order{2, 1, 3} << Order{2, 1, 3} << Order{1, 2, 3};
        QTest::newRow("13") << 13 << Order{2, 3, 1} << Order{2, 3, 1} << Order{1, 2, 3};
        QTest::newRow("14") << 14 << Order{3, 1, 2} << Order{3, 1, 2} << Order{1, 2, 3};
        QTest::newRow("15") << 15 << Order{3, 2, 1} << Order{3, 2, 1} << Order{1, 2, 3};
    }
    void everyCodeForwardAndBack()
    {
        QFETCH(int, code);
        QFETCH(Order, named);
        QFETCH(Order, backOrder);
        QFETCH(Order, pictureOrder);
        const int slide[] = {0, 2, 3, 4}; // the line's slide for Screen 1, 2, 3
        const QByteArray line = QByteArray::number(code) + ",2,3,4";
        Show s("0,1,1,1\r\n" + line + "\r\n" + line + "\r\n");

        QString description;
        for (int screen : named) {
            const QString field = QString::number(slide[screen]);
            const QString text = screen == 1 ? d1(field) : screen == 2 ? d2(field) : d3(field);
            description += (description.isEmpty() ? QString() : nl) + text;
        }
        if (code == 0) {
            description = QStringLiteral("Beginning of Slide Show");
        } else if (code == 2) {
            description = description.mid(1);
        }

        // Forward: the named screens switched in the code's order, then their pictures in
        // ascending order; an opening step switches nothing and refreshes all three at slide 1.
        s.next();
        Calls expected;
        for (int screen : named) {
            expected = expected + switched(screen, slide[screen]);
        }
        Order ascending = named;
        std::sort(ascending.begin(), ascending.end());
        for (int screen : code == 0 ? Order{1, 2, 3} : ascending) {
            expected = expected + s.picture(screen, code == 0 ? 1 : slide[screen]);
        }
        QCOMPARE(s.app.calls(), expected);
        QCOMPARE(s.box1(), description);
        QCOMPARE(s.box2(), description);

        // Back from the line after: every screen switched and refreshed, in the code's orders.
        s.next();
        s.app.clearCalls();
        s.previous();
        QCOMPARE(s.window->LineNumber, std::int16_t(3));
        expected.clear();
        for (int screen : backOrder) {
            expected = expected + switched(screen, slide[screen]);
        }
        for (int screen : pictureOrder) {
            expected = expected + s.picture(screen, code == 0 ? 1 : slide[screen]);
        }
        QCOMPARE(s.app.calls(), expected);
        QCOMPARE(s.box1(), code == 0 ? QStringLiteral(" Beginning of Slide Show ") : description);
        QCOMPARE(s.box2(), description);
        const std::array<int, 3> counters =
            code == 0 ? std::array<int, 3>{1, 1, 1} : std::array<int, 3>{2, 3, 4};
        QCOMPARE(s.counters(), counters);
    }

    void nothingLoadedStillMovesTheScript()
    {
        ControlFixture f;
        f.loadScript("0,1,1,1\r\n4,2,3,1\r\n0,9,9,9\r\n");
        f.click("cmdNextSlide");
        QVERIFY(f.app.calls().empty());
        QVERIFY(f.messages->shown.isEmpty());
        QCOMPARE(f.box1(), d1("2") + nl + d2("3"));
        QCOMPARE(f.box2(), QStringLiteral("Beginning of Slide Show"));
        QCOMPARE(f.window->Screen1Slide, 2);
        QCOMPARE(f.window->Screen2Slide, 3);
        QCOMPARE(f.window->LineNumber, std::int16_t(3));
        QCOMPARE(f.window->strSlidePath, f.picturePath(2));
        QVERIFY(!sameColour(f.previewColour(1), slideColour(1, 2)));
    }

    void noScriptLoaded()
    {
        Show s("");
        s.window->strScriptLines.clear();
        s.window->LineNumber = 0;
        s.next();
        QCOMPARE(s.box1(), QStringLiteral("End of Slide Show"));
        QCOMPARE(s.box2(), QStringLiteral("End of Slide Show"));
        QCOMPARE(s.window->LineNumber, std::int16_t(0));
        s.previous();
        QCOMPARE(s.window->LineNumber, std::int16_t(2));
        QVERIFY(s.app.calls().empty());
        QCOMPARE(s.counters(), (std::array<int, 3>{1, 1, 1}));
    }

    void aMissingOrBadFieldFailsOnlyWhatNeedsIt()
    {
        Show s("0,1,1,1\r\n1,2,1,1\r\n4,5\r\n10,3,x,2\r\n");
        s.next();
        const QString before = s.box1();

        // No field 2: Screen 2 is still activated but not moved, its counter and picture stay.
        s.app.clearCalls();
        s.next();
        QCOMPARE(s.app.calls(),
                 switched(1, 5) + activated({2}) + s.picture(1, 5) + s.picture(2, 1));
        QCOMPARE(s.box1(), before);
        QCOMPARE(s.counters(), (std::array<int, 3>{5, 1, 1}));
        QCOMPARE(s.box2(), d1("3") + nl + d2("x") + nl + d3("2"));

        s.app.clearCalls();
        s.next();
        QCOMPARE(s.app.calls(), switched(1, 3) + activated({2}) + switched(3, 2) + s.picture(1, 3) +
                                    s.picture(2, 1) + s.picture(3, 2));
        QCOMPARE(s.box1(), d1("3") + nl + d2("x") + nl + d3("2"));
        QCOMPARE(s.counters(), (std::array<int, 3>{3, 1, 2}));
        QVERIFY(s.previewsShow({3, 1, 2}));

        // Back onto the short line: Screen 2 keeps its counter, the box keeps its text.
        s.app.clearCalls();
        s.previous();
        QCOMPARE(s.app.calls(), switched(1, 5) + activated({2, 3}) + s.picture(1, 5) +
                                    s.picture(2, 1) + s.picture(3, 2));
        QCOMPARE(s.box1(), d1("3") + nl + d2("x") + nl + d3("2"));
        QCOMPARE(s.box2(), d1("3") + nl + d2("x") + nl + d3("2"));
        QCOMPARE(s.counters(), (std::array<int, 3>{5, 1, 2}));
    }

    void aSlideTheDeckLacksKeepsTheOldPicture()
    {
        Show s("0,1,1,1\r\n1,20,1,1\r\n");
        s.next();
        QCOMPARE(s.app.calls(), (switched(1, 20) + Calls{"SlidesItem(pres 1, 20)"}));
        QCOMPARE(s.window->Screen1Slide, 20);
        QCOMPARE(s.box1(), d1("20"));
        QCOMPARE(s.window->strSlidePath, s.picturePath(1));
        QVERIFY(s.previewsShow({1, 1, 1}));
    }

    void eachActionFailsOnItsOwn()
    {
        Show s("0,1,1,1\r\n10,3,2,2\r\n");
        s.app.failOn("Activate", "Src", "no window", 2);
        s.app.failOn("Export", "Src", "disk full", 1);
        s.next();
        QCOMPARE(s.app.calls(), switched(1, 3) + switched(2, 2) + switched(3, 2) + s.picture(1, 3) +
                                    s.picture(2, 2) + s.picture(3, 2));
        QCOMPARE(s.counters(), (std::array<int, 3>{3, 2, 2}));
        QVERIFY(s.previewsShow({1, 2, 2})); // Screen 1's file still holds slide 1
        QCOMPARE(s.window->LineNumber, std::int16_t(3));
        QVERIFY(s.messages->shown.isEmpty());
    }

    void aMissingPictureFolderKeepsThePreview()
    {
        Show s("0,1,1,1\r\n2,1,4,1\r\n");
        QVERIFY(QDir(s.path("Slide Shows/Screen 2 JPG")).removeRecursively());
        s.next();
        QCOMPARE(s.app.calls(), switched(2, 4) + s.picture(2, 4));
        QCOMPARE(s.window->Screen2Slide, 4);
        QVERIFY(s.previewsShow({1, 1, 1}));
        QVERIFY(s.messages->shown.isEmpty());
    }

    void aLineWithoutAStepCodeMovesNothing_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("blank before") << QByteArray(" 1,5,5,5");
        QTest::newRow("blank after") << QByteArray("1 ,5,5,5");
        QTest::newRow("above 15") << QByteArray("16,5,5,5");
        QTest::newRow("letter") << QByteArray("a,5,5,5");
    }
    void aLineWithoutAStepCodeMovesNothing()
    {
        QFETCH(QByteArray, line);
        Show s("0,1,1,1\r\n1,2,1,1\r\n" + line + "\r\n3,1,1,6\r\n");
        s.next();
        // A next line without a code leaves the next-step box as it was.
        QCOMPARE(s.box2(), QStringLiteral("Slide Show Script is Loaded"));

        s.app.clearCalls();
        s.next();
        QVERIFY(s.app.calls().empty());
        QCOMPARE(s.box1(), d1("2"));
        QCOMPARE(s.box2(), d3("6"));
        QCOMPARE(s.window->LineNumber, std::int16_t(4));
        QCOMPARE(s.counters(), (std::array<int, 3>{2, 1, 1}));

        // Back onto it: the position moves and the next-step box is rewritten, nothing else.
        s.next();
        s.app.clearCalls();
        s.previous();
        QVERIFY(s.app.calls().empty());
        QCOMPARE(s.window->LineNumber, std::int16_t(4));
        QCOMPARE(s.box1(), d3("6"));
        QCOMPARE(s.box2(), d3("6"));
        QCOMPARE(s.counters(), (std::array<int, 3>{2, 1, 6}));
    }

    void anEmptyLineStopsTheShowUntilSteppedBack()
    {
        Show s("0,1,1,1\r\n1,2,1,1\r\n\r\n1,3,1,1\r\n");
        s.next();
        QCOMPARE(s.box2(), QStringLiteral("End of Slide Show"));
        for (int press = 0; press < 3; ++press) {
            s.app.clearCalls();
            s.next();
            QVERIFY(s.app.calls().empty());
            QCOMPARE(s.window->LineNumber, std::int16_t(3));
            QCOMPARE(s.box1(), QStringLiteral("End of Slide Show"));
        }
        // Going back moves past it and never writes the end of the show.
        s.previous();
        QCOMPARE(s.window->LineNumber, std::int16_t(2));
        QCOMPARE(s.box1(), QStringLiteral(" Beginning of Slide Show "));
        QCOMPARE(s.box2(), d1("2"));
    }

    void theOpeningLineGoesToItsSlidesButCountsOne()
    {
        Show s("0,4,2,007\r\n1,2,1,1\r\n");
        s.next();
        s.app.clearCalls();
        s.previous();
        QCOMPARE(s.app.calls(), switched(1, 4) + switched(2, 2) + switched(3, 7) + s.picture(1, 1) +
                                    s.picture(2, 1) + s.picture(3, 1));
        QCOMPARE(s.counters(), (std::array<int, 3>{1, 1, 1}));
    }

    void slideFieldsAreShownAsWritten()
    {
        Show s("0,1,1,1\r\n3,1,1,007\r\n5,2 ,1,1\r\n");
        s.next();
        QCOMPARE(s.box1(), d3("007"));
        QCOMPARE(s.box2(), d1("2 ") + nl + d3("1"));
        QCOMPARE(s.app.calls(), switched(3, 7) + s.picture(3, 7));
        s.app.clearCalls();
        s.next();
        QCOMPARE(s.app.calls(),
                 switched(1, 2) + switched(3, 1) + s.picture(1, 2) + s.picture(3, 1));
    }

    void theScriptPositionStopsAtItsLargestValue()
    {
        Show s("");
        QStringList lines(32768, QStringLiteral("3,1,1,5"));
        s.window->strScriptLines = lines;
        s.window->LineNumber = 32767;
        for (int press = 0; press < 2; ++press) {
            s.app.clearCalls();
            s.next();
            QCOMPARE(s.app.calls(), switched(3, 5) + s.picture(3, 5));
            QCOMPARE(s.window->LineNumber, std::int16_t(32767));
        }
    }

    // ---------------------------------------------------------------- per-screen stepping

    void aHandStepTouchesOnlyItsScreen()
    {
        Show s("0,1,1,1\r\n4,2,3,1\r\n3,1,1,2\r\n");
        s.next();
        const QString box1 = s.box1(), box2 = s.box2();
        const auto counters = s.counters();
        const std::pair<const char *, Calls> buttons[] = {
            {"cmdNextSouth", handStep(1, true)},  {"cmdPrevSouth", handStep(1, false)},
            {"cmdNextCenter", handStep(2, true)}, {"cmdPrevCenter", handStep(2, false)},
            {"cmdNextNorth", handStep(3, true)},  {"cmdPrevNorth", handStep(3, false)},
        };
        for (const auto &[button, calls] : buttons) {
            s.app.clearCalls();
            s.click(button);
            QVERIFY2(s.app.calls() == calls, button);
        }
        QCOMPARE(s.box1(), box1);
        QCOMPARE(s.box2(), box2);
        QCOMPARE(s.counters(), counters);
        QCOMPARE(s.window->LineNumber, std::int16_t(3));
        QVERIFY(s.previewsShow({2, 3, 1}));

        // A hand step stays until a line moves that screen again.
        s.click("cmdNextSouth");
        QCOMPARE(s.app.presentation(1).currentSlide, 3);
        s.next();
        QCOMPARE(s.app.presentation(1).currentSlide, 3);
        s.previous();
        QCOMPARE(s.app.presentation(1).currentSlide, 2);
    }

    // From the keyboard a focused button is pressed with Enter as well as with Space.
    void theKeyboardPressesTheFocusedButton()
    {
        Show s("0,1,1,1\r\n1,2,1,1\r\n");
        const std::pair<Qt::Key, Calls> keys[] = {
            {Qt::Key_Space, handStep(1, true)},
            {Qt::Key_Return, handStep(1, true)},
            {Qt::Key_Enter, handStep(1, true)},
        };
        QPushButton *button = s.control<QPushButton>("cmdNextSouth");
        button->setFocus();
        for (const auto &[key, calls] : keys) {
            s.app.clearCalls();
            QTest::keyClick(button, key);
            QVERIFY2(s.app.calls() == calls, qPrintable(QKeySequence(key).toString()));
        }
        s.control<QPushButton>("cmdNextSlide")->setFocus();
        s.app.clearCalls();
        QTest::keyClick(s.control<QPushButton>("cmdNextSlide"), Qt::Key_Return);
        QCOMPARE(s.window->LineNumber, std::int16_t(3));
        QCOMPARE(s.app.calls(), switched(1, 2) + s.picture(1, 2));
    }

    // A presenter clicker's keys run the script's Next and Previous from any focused control
    // but a text box's cursor keys; a held key steps once.
    void aClickerStepsTheScript()
    {
        Show s("0,1,1,1\r\n1,2,1,1\r\n10,3,2,2\r\n6,4,3,2\r\n");
        struct Press
        {
            const char *focus;
            Qt::Key key;
            bool autoRepeat;
            std::int16_t lineAfter;
        };
        const Press presses[] = {
            {"cmdNextSouth", Qt::Key_PageDown, false, 3},
            {"cmdNextSouth", Qt::Key_Right, false, 4},
            {"cmdLoadShow", Qt::Key_PageUp, false, 3},
            {"txtScriptBox1", Qt::Key_Right, false, 3},
            {"txtScriptBox1", Qt::Key_Left, false, 3},
            {"txtScriptBox1", Qt::Key_PageDown, false, 4},
            {"cmdNextSlide", Qt::Key_PageDown, true, 4},
            {"cmdNextSlide", Qt::Key_Left, false, 3},
        };
        for (const Press &p : presses) {
            QWidget *control = s.control<QWidget>(p.focus);
            control->setFocus();
            QCOMPARE(s.window->focusWidget(), control);
            QKeyEvent press(QEvent::KeyPress, p.key, Qt::NoModifier, QString(), p.autoRepeat);
            QApplication::sendEvent(control, &press);
            QVERIFY2(s.window->LineNumber == p.lineAfter,
                     qPrintable(QStringLiteral("%1 on %2: line %3")
                                    .arg(QKeySequence(p.key).toString(), QLatin1String(p.focus))
                                    .arg(s.window->LineNumber)));
        }
    }

    void aHandStepBeforeAnyLoadDoesNothing()
    {
        ControlFixture f;
        for (const char *button : {"cmdNextSouth", "cmdPrevSouth", "cmdNextCenter", "cmdPrevCenter",
                                   "cmdNextNorth", "cmdPrevNorth"}) {
            f.click(button);
        }
        QVERIFY(f.app.calls().empty());
        QVERIFY(f.messages->shown.isEmpty());
    }

    void resetStartsLoadingAtScreenOneAgain()
    {
        Show s("0,1,1,1\r\n");
        s.click("cmdResetShow");
        s.click("cmdResetShow");
        QCOMPARE(s.window->LoadNumber, std::int16_t(0));
        QVERIFY(s.app.calls().empty());

        s.load(s.deck("new.pdf"));
        QCOMPARE(s.app.calls(),
                 (Calls{"CreateApplication()", "Visible(-1)",
                        "Open(" + s.deck("new.pdf").toStdString() + ", 0, 0, -1)", "Run(pres 4)",
                        "Left(pres 4, -768)", "Top(pres 4, 0)", "Width(pres 4, 768)",
                        "SlidesItem(pres 4, 1)", s.exportCall(4, 1, 1), "ImportReport(pres 4)"}));
        QCOMPARE(s.window->LoadNumber, std::int16_t(1));
        QVERIFY(sameColour(s.previewColour(1), slideColour(4, 1)));
        QVERIFY(sameColour(s.previewColour(2), slideColour(2, 1)));

        s.app.clearCalls();
        s.click("cmdNextSouth");
        QCOMPARE(s.app.calls(), handStep(4, true));
    }

    // ---------------------------------------------------------------- slides prepared ahead

    // After every press each loaded screen is told where the next Next and the next Previous
    // will send it, Next's slide first.
    void eachPressPreparesTheSlidesOfTheNextSteps()
    {
        using Hints = std::vector<std::string>;
        const auto hints = [](const char *one, const char *two, const char *three) {
            return Hints{std::string("Prepare(pres 1") + one + ")",
                         std::string("Prepare(pres 2") + two + ")",
                         std::string("Prepare(pres 3") + three + ")"};
        };
        // Line 3 moves all three but names no slide for Screen 2; the final CR LF ends the show.
        Show s("0,1,1,1\r\n10,5,9,14\r\n2,5,3,14\r\n13,7,x,20\r\n");
        const Hints atStart = hints(": 5", ": 9", ": 14");
        const Hints afterLine1 = hints(": 1", ": 3, 1", ": 1");
        const Hints afterLine2 = hints(": 7, 5", ": 9", ": 20, 14");
        const Hints atEnd = hints(": 5", ": 3", ": 14");
        const std::pair<const char *, Hints> presses[] = {
            {"cmdPreviousSlide", atStart}, // nothing to go back to
            {"cmdNextSlide", afterLine1},     {"cmdNextSlide", afterLine2},
            {"cmdNextSouth", afterLine2},     {"cmdPrevNorth", afterLine2},
            {"cmdNextSlide", atEnd},          {"cmdNextSlide", atEnd},
            {"cmdPreviousSlide", afterLine2}, {"cmdResetShow", afterLine2},
            {"cmdPreviousSlide", afterLine1}, {"cmdPreviousSlide", atStart},
        };
        for (const auto &[button, expected] : presses) {
            s.app.clearCalls();
            s.click(button);
            QVERIFY2(s.app.hints() == expected, button);
        }

        // Loading the script again starts over, wherever the show was.
        s.next();
        s.next();
        s.app.clearCalls();
        s.loadScript("0,1,1,1\r\n3,1,1,6\r\n");
        QCOMPARE(s.app.hints(), hints("", "", ": 6"));
        QVERIFY(s.app.calls().empty());
    }

    // Loading a deck prepares the screens loaded so far; no script, no slides.
    void loadingADeckPreparesItsScreen()
    {
        ControlFixture f;
        f.load(f.deck(QStringLiteral("one.pdf")));
        QCOMPARE(f.app.hints(), (std::vector<std::string>{"Prepare(pres 1)"}));
        f.loadScript("0,1,1,1\r\n5,3,1,4\r\n");
        f.app.clearCalls();
        f.load(f.deck(QStringLiteral("two.pdf")));
        QCOMPARE(f.app.hints(),
                 (std::vector<std::string>{"Prepare(pres 1: 3)", "Prepare(pres 2)"}));
    }
};

CORVANE_TEST_MAIN(TestControlStep)
#include "tst_control_step.moc"
