// Blanking Corvane's screens from its buttons, its queue (the remotes' texts) and the clicker
// keys: exactly the named screens, set-states that stay set, steps that keep the blank, and
// previews that say so.

#include "control_fixture.h"

#include "show_controller/corvane_remote.h"

#include "platform/testing/test_main.h"
#include "remote_control/remote_settings.h"
#include "remote_control/tests/remote_test_support.h"

#include <QApplication>
#include <QKeyEvent>

namespace {

Calls setStateCalls(const ControlFixture &f)
{
    return f.app.callsStartingWith({"SetState("});
}

std::string setState(int pres, int state)
{
    return "SetState(pres " + std::to_string(pres) + ", " + std::to_string(state) + ")";
}

QList<int> viewStates(const ControlFixture &f)
{
    return {f.app.presentation(1).viewState, f.app.presentation(2).viewState,
            f.app.presentation(3).viewState};
}

struct Loaded
{
    Loaded()
    {
        f.loadThree();
        f.app.clearCalls();
    }
    // Runs a remote's text through the window's queue, as every remote does.
    void press(int key)
    {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(f.window.get(), &event);
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }
    ControlFixture f;
};

} // namespace

class TestControlBlanks : public QObject
{
    Q_OBJECT

private slots:
    // Screen 1 is pres 1 (South, the right-hand column), screen 3 is pres 3 (North).
    void eachWayBlanksExactlyItsScreens_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("text");
        QTest::addColumn<Calls>("expected");
        QTest::newRow("north black") << "cmdBlackNorth"
                                     << "" << Calls{setState(3, 3)};
        QTest::newRow("center white") << "cmdWhiteCenter"
                                      << "" << Calls{setState(2, 4)};
        QTest::newRow("south show") << "cmdShowSouth"
                                    << "" << Calls{setState(1, 1)};
        QTest::newRow("all black") << "cmdBlackAll"
                                   << "" << Calls{setState(1, 3), setState(2, 3), setState(3, 3)};
        QTest::newRow("all white") << "cmdWhiteAll"
                                   << "" << Calls{setState(1, 4), setState(2, 4), setState(3, 4)};
        QTest::newRow("all shown") << "cmdShowAll"
                                   << "" << Calls{setState(1, 1), setState(2, 1), setState(3, 1)};
        QTest::newRow("remote black 2") << ""
                                        << "BLACK 2" << Calls{setState(2, 3)};
        QTest::newRow("remote white 3") << ""
                                        << "WHITE 3" << Calls{setState(3, 4)};
        QTest::newRow("remote show all")
            << ""
            << "SHOW" << Calls{setState(1, 1), setState(2, 1), setState(3, 1)};
        QTest::newRow("remote screen 4") << ""
                                         << "BLACK 4" << Calls{};
    }
    void eachWayBlanksExactlyItsScreens()
    {
        QFETCH(QString, button);
        QFETCH(QString, text);
        QFETCH(Calls, expected);
        Loaded s;
        if (!button.isEmpty()) {
            s.f.click(qPrintable(button));
        } else {
            s.f.window->queueRemoteCommand(text);
            QTest::qWait(50);
        }
        QCOMPARE(setStateCalls(s.f), expected);
        // Blanking moves nothing.
        QCOMPARE(s.f.app.callsStartingWith({"Next(", "Previous(", "GotoSlide(", "Activate("}),
                 Calls{});
        QVERIFY(s.f.messages->shown.isEmpty());
    }

    // A step on a blanked screen moves the slide behind the blank; an application that
    // would show the slide again is set back at once, and the other screens are untouched.
    void aStepKeepsTheBlank_data()
    {
        QTest::addColumn<bool>("stepsReveal");
        QTest::newRow("the blank stays by itself") << false;
        QTest::newRow("the application shows the slide") << true;
    }
    void aStepKeepsTheBlank()
    {
        QFETCH(bool, stepsReveal);
        Loaded s;
        s.f.app.setStepsReveal(stepsReveal);
        s.f.click("cmdWhiteSouth");
        s.f.app.clearCalls();
        s.f.click("cmdNextSouth");
        s.f.click("cmdNextCenter");
        QCOMPARE(s.f.app.presentation(1).currentSlide, 2);
        QCOMPARE(s.f.app.presentation(2).currentSlide, 2);
        QCOMPARE(viewStates(s.f), (QList<int>{4, 1, 1}));
        QCOMPARE(setStateCalls(s.f), stepsReveal ? Calls{setState(1, 4)} : Calls{});
        // Only the blanked screen is asked.
        QCOMPARE(s.f.app.callsStartingWith({"State("}), Calls{"State(pres 1)"});
        s.f.click("cmdShowSouth");
        QCOMPARE(viewStates(s.f), (QList<int>{1, 1, 1}));
        QCOMPARE(s.f.app.presentation(1).currentSlide, 2);
    }

    // B toggles black on all three screens, W white; a toggle from a mix blanks them all.
    void keysToggle()
    {
        Loaded s;
        s.f.click("cmdWhiteCenter");
        s.press(Qt::Key_B);
        QTRY_COMPARE(viewStates(s.f), (QList<int>{3, 3, 3}));
        s.press(Qt::Key_Period);
        QTRY_COMPARE(viewStates(s.f), (QList<int>{1, 1, 1}));
        s.press(Qt::Key_W);
        QTRY_COMPARE(viewStates(s.f), (QList<int>{4, 4, 4}));
        s.press(Qt::Key_Comma);
        QTRY_COMPARE(viewStates(s.f), (QList<int>{1, 1, 1}));
    }

    // The preview keeps its slide and carries a plain mark while the screen is blanked; the
    // remotes' state names each screen's blank.
    void previewsAndStateSayIt()
    {
        Loaded s;
        remote::RemoteSettings settings;
        settings.enabled = false;
        CorvaneRemote remoteControl(*s.f.window, settings, s.f.path(QStringLiteral("r.log")));
        const QRgb before = s.f.previewColour(2);
        s.f.click("cmdBlackCenter");
        s.f.click("cmdWhiteNorth");
        const auto *mark = s.f.control<QLabel>("ibxCenter")->findChild<QLabel *>("blankMark");
        QVERIFY(mark != nullptr && mark->isVisibleTo(s.f.window.get()));
        QCOMPARE(mark->text(), QStringLiteral("BLACK SCREEN"));
        QCOMPARE(s.f.previewColour(2), before); // the picture under the mark is the slide
        QVERIFY(s.f.control<QLabel>("ibxSouth")->findChild<QLabel *>("blankMark") == nullptr);
        QHash<QString, QString> blanks;
        for (const remote::StateField &field : remoteControl.currentState()) {
            if (field.key.endsWith(QLatin1String("/blank"))) {
                blanks.insert(field.key, field.value.toString());
            }
        }
        QCOMPARE(blanks.value("screen1/blank"), QStringLiteral("none"));
        QCOMPARE(blanks.value("screen2/blank"), QStringLiteral("black"));
        QCOMPARE(blanks.value("screen3/blank"), QStringLiteral("white"));
        s.f.click("cmdShowAll");
        QVERIFY(!mark->isVisibleTo(s.f.window.get()));
    }

    // A screen blanked or shown in the show itself (its own keys, another program) is taken
    // from the application's answers, so the window, the state and the steps agree with it.
    void aBlankSetElsewhereIsTaken()
    {
        Loaded s;
        CorvaneRemote remoteControl(*s.f.window, remote::testing::loopbackSettings(),
                                    s.f.path(QStringLiteral("r.log")));
        s.f.click("cmdBlackSouth");
        const auto app = s.f.app.factory()();
        app->activePresentation()->slideShowWindow()->view()->setState(pa::ppSlideShowWhiteScreen);
        app->presentations()->open("elsewhere.pdf"); // not one of the window's
        QTRY_COMPARE_WITH_TIMEOUT(s.f.window->blankOf(3), pa::ppSlideShowWhiteScreen, 5000);
        QCOMPARE(s.f.window->blankOf(1), pa::ppSlideShowBlackScreen);
        QCOMPARE(s.f.control<QLabel>("ibxNorth")->findChild<QLabel *>("blankMark")->text(),
                 QStringLiteral("WHITE SCREEN"));
        s.f.window->queueRemoteCommand(QStringLiteral("SHOW 1"));
        QTRY_COMPARE(s.f.window->blankOf(1), pa::ppSlideShowRunning);
        s.f.app.clearCalls();
        s.f.click("cmdNextSouth");
        QCOMPARE(s.f.app.callsStartingWith({"State("}), Calls{});
    }

    // A blank that fails is reported by no message and not taken as set; with no show
    // loaded there is nothing to blank.
    void failuresAreSkipped()
    {
        ControlFixture empty;
        empty.click("cmdBlackAll");
        QVERIFY(empty.app.calls().empty());
        QVERIFY(empty.messages->shown.isEmpty());

        Loaded s;
        s.f.app.failOn("SetState", "PowerPoint", "The view is gone.", 2);
        s.f.click("cmdBlackAll");
        QCOMPARE(viewStates(s.f), (QList<int>{3, 1, 3}));
        QCOMPARE(s.f.window->blankOf(2), 1);
        QVERIFY(s.f.messages->shown.isEmpty());
    }
};

CORVANE_TEST_MAIN(TestControlBlanks)
#include "tst_control_blanks.moc"
