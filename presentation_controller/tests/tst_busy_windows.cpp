// The controller window while the presentation application takes long over a call: the
// window repaints and shows the wait cursor, input made meanwhile is handled after the
// call, and kiosk ticks that fall due meanwhile are skipped.

#include "kestro_window_support.h"

#include "platform/busy_calls.h"
#include "platform/drive_c.h"
#include "platform/testing/slow_calls.h"
#include "platform/testing/test_main.h"
#include "presentation_automation/testing/recording_automation.h"
#include "presentation_controller/long_timer.h"

#include <QCursor>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

using platform::testing::FakeFileOpenDialog;
using platform::testing::FakeMessageBox;
using platform::testing::SlowCalls;

namespace {

// Counts paint events that reach the window's widgets while a slow call waits.
class PaintCounter : public QObject
{
public:
    PaintCounter(QWidget *window, const SlowCalls &slow) : m_window(window), m_slow(slow)
    {
        qApp->installEventFilter(this);
    }
    ~PaintCounter() override { qApp->removeEventFilter(this); }
    int duringSlowCalls = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && m_slow.inSlowCall && watched->isWidgetType() &&
            static_cast<QWidget *>(watched)->window() == m_window) {
            ++duringSlowCalls;
        }
        return false;
    }

private:
    QWidget *m_window;
    const SlowCalls &m_slow;
};

using Calls = std::vector<std::string>;

} // namespace

class TestBusyWindows : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_driveC;
    std::unique_ptr<pa::testing::RecordingAutomation> m_app;
    std::shared_ptr<FakeMessageBox> m_messages;
    std::shared_ptr<FakeFileOpenDialog> m_dialog;
    std::unique_ptr<frmKestro> m_window;
    SlowCalls m_slow;

    void makeLoadedWindow(kestro::Variant variant, const QString &interval = QString())
    {
        m_window = kestro::testing::makeKestroWindow(
            variant, platform::guardedApplications(m_app->factory()), m_messages, m_dialog);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        if (!interval.isEmpty()) {
            kestro::testing::control(m_window.get(), "Text1")->setText(interval);
        }
        m_dialog->answers << m_driveC->filePath(QStringLiteral("deck.pdf"));
        button("cmdLoadShow")->click();
        QVERIFY(m_messages->shown.isEmpty());
        m_app->clearCalls();
        m_app->setOnCall(m_slow.hook());
    }

    QPushButton *button(const char *name) const
    {
        return kestro::testing::control<QPushButton>(m_window.get(), name);
    }

    Calls steps() const
    {
        return m_app->callsStartingWith(
            {"Activate", "Next", "Previous", "CurrentSlide", "SlideIndex"});
    }

private slots:
    void init()
    {
        m_driveC = std::make_unique<QTemporaryDir>();
        platform::setDriveCRoot(m_driveC->path());
        m_app = std::make_unique<pa::testing::RecordingAutomation>();
        m_messages = std::make_shared<FakeMessageBox>();
        m_dialog = std::make_shared<FakeFileOpenDialog>();
        m_slow = SlowCalls();
    }

    void cleanup()
    {
        m_window.reset();
        m_app.reset(); // its hook refers to m_slow
        platform::setDriveCRoot(QString());
    }

    void inputDuringASlowCallIsHandledAfterIt_data()
    {
        QTest::addColumn<bool>("byKey");
        QTest::newRow("click") << false;
        QTest::newRow("Space on the focused button") << true;
    }
    void inputDuringASlowCallIsHandledAfterIt()
    {
        QFETCH(bool, byKey);
        makeLoadedWindow(kestro::Variant::Kestro);
        m_slow.isSlow = [](const std::string &call) { return call.rfind("Next(", 0) == 0; };
        // Something to repaint, as when a window above it moves away.
        m_slow.onSlowStart = [this] { m_window->update(); };
        const PaintCounter paints(m_window.get(), m_slow);

        bool waitCursorShown = false;
        QTimer::singleShot(300, m_window.get(), [&] {
            // Input arriving while Next Slide waits on the application.
            const QCursor *cursor = QGuiApplication::overrideCursor();
            waitCursorShown = cursor && cursor->shape() == Qt::WaitCursor;
            QPushButton *previous = button("cmdPreviousSlide");
            if (byKey) {
                previous->setFocus();
                QTest::keyClick(previous, Qt::Key_Space);
            } else {
                QTest::mouseClick(previous, Qt::LeftButton);
            }
        });
        button("cmdNextSlide")->click();
        QCOMPARE(m_slow.slowCalls, 1);
        QTRY_COMPARE_WITH_TIMEOUT(steps().size(), std::size_t(8), 5000);

        QVERIFY(waitCursorShown);
        QVERIFY(paints.duringSlowCalls > 0);
        QCOMPARE(m_slow.deepest, 1); // Previous Slide did not run inside Next Slide
        QCOMPARE(steps(), (Calls{"Activate(pres 1)", "Next(pres 1)", "CurrentSlide(pres 1)",
                                 "SlideIndex(pres 1, 2)", "Activate(pres 1)", "Previous(pres 1)",
                                 "CurrentSlide(pres 1)", "SlideIndex(pres 1, 1)"}));
        QTRY_VERIFY(QGuiApplication::overrideCursor() == nullptr);
        QVERIFY(m_messages->shown.isEmpty());
    }

    // Ticks every 0.2 s while the operator's Goto Slide Number takes a second: the ticks
    // that come meanwhile run no step inside it and none is made up afterwards.
    void kioskTicksDuringASlowCallAreSkipped()
    {
        makeLoadedWindow(kestro::Variant::Kiosk, QStringLiteral("0.2"));
        m_slow.isSlow = [](const std::string &call) { return call.rfind("GotoSlide(", 0) == 0; };
        int ticksDuring = 0;
        int ticksOutside = 0;
        connect(m_window->LongTimer1(), &kestro::LongTimer::Timer, this,
                [&] { ++(m_slow.inSlowCall ? ticksDuring : ticksOutside); });
        kestro::testing::control(m_window.get(), "txtGotoSlide")->setText(QStringLiteral("3"));
        button("cmdGoto")->click();
        QCOMPARE(m_slow.slowCalls, 1);
        QTRY_VERIFY_WITH_TIMEOUT(m_app->callsStartingWith({"Next"}).size() >= 2, 10000);
        m_window->LongTimer1()->setEnabled(false);

        QVERIFY(ticksDuring > 0);
        QCOMPARE(m_slow.deepest, 1);
        const Calls calls = m_app->callsStartingWith({"GotoSlide", "Next"});
        QCOMPARE(calls.front(), std::string("GotoSlide(pres 1, 3, -1)"));
        QVERIFY2(int(calls.size()) - 1 <= ticksOutside,
                 qPrintable(QStringLiteral("%1 steps for %2 ticks outside the call")
                                .arg(calls.size() - 1)
                                .arg(ticksOutside)));
    }

    // The guard is a wrapper of every object: an answer it forgets to pass on reaches the
    // windows as "the application cannot tell", and builds, reports and blanks go missing.
    void theGuardPassesEveryAnswerOn()
    {
        m_app->setBuilds("deck.ppt", {0, 2});
        m_app->setImportReport("deck.ppt", {"slide 2: an effect"});
        const auto app = platform::guardedApplications(m_app->factory())();
        const auto pres = app->presentations()->open("deck.ppt");
        pres->slideShowSettings()->run();
        const auto view = pres->slideShowWindow()->view();
        view->gotoSlide(2);
        QCOMPARE(view->slide()->buildCount(), std::optional<std::int32_t>(2));
        QCOMPARE(pres->slides()->item(1)->buildCount(), std::optional<std::int32_t>(0));
        QCOMPARE(pres->importReport(),
                 std::optional(std::vector<std::string>{"slide 2: an effect"}));
        view->setState(pa::ppSlideShowBlackScreen);
        QCOMPARE(view->state(), pa::ppSlideShowBlackScreen);
        QCOMPARE(m_app->presentation(1).viewState, pa::ppSlideShowBlackScreen);
    }
};

CORVANE_TEST_MAIN(TestBusyWindows)
#include "tst_busy_windows.moc"
