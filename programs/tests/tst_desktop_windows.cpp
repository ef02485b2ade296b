// The controllers' windows on a real X desktop (three displays, openbox) with the real host:
// a show filling the primary display stays below Corvane's and Kestro's topmost windows
// through loads, steps and a host restart, clicks on their buttons reach them, a presenter's
// Page Down on them steps the show, and Kestro's display numbers window opens in sight.

#include "presentation_controller/frmKestro.h"
#include "presentation_controller/frmScreen.h"
#include "show_controller/frmControl.h"

#include "platform/drive_c.h"
#include "platform/testing/fakes.h"
#include "platform/testing/x_desktop.h"
#include "presentation_automation/host/tests/deck_maker.h"
#include "presentation_automation/host/tests/host_test_support.h"

#include <QApplication>
#include <QPushButton>
#include <QtTest>

using namespace pa::host::testing;
using namespace platform::testing;

// A helper's failed check ends the test function too.
#define CHECKED(call)                                                                              \
    do {                                                                                           \
        call;                                                                                      \
        if (QTest::currentTestFailed()) {                                                          \
            return;                                                                                \
        }                                                                                          \
    } while (false)

namespace {

// Started before QApplication, which must connect to it; ended after it.
struct Desktop
{
    QTemporaryDir dir;
    std::unique_ptr<DummyXServer> x;
    std::unique_ptr<WindowManager> wm;
    QString whyNot;
};

Desktop *desktop = nullptr;

const QString corvaneTitle = QStringLiteral("Corvane  Main Control");

QString showTitle(int screen)
{
    return QStringLiteral("Screen %1.pdf - Slide Show").arg(screen);
}

QString xdotool(const QStringList &arguments)
{
    return runTool(QStringLiteral("xdotool"), arguments).trimmed();
}

} // namespace

class TestDesktopWindows : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<HostFixture> m_host;
    std::shared_ptr<platform::testing::FakeMessageBox> m_messages;
    std::shared_ptr<platform::testing::FakeFileOpenDialog> m_dialog;
    std::unique_ptr<frmControl> m_window;

    QString display() const { return desktop->x->display; }

    // A real pointer click where the button is on the screen: it reaches whatever the X server
    // has on top there.
    void click(const char *button) { click(m_window.get(), button); }
    void click(QWidget *window, const char *button)
    {
        // Relative to the window, so xdotool finds where it is now, wherever the window manager
        // moved it since it was shown.
        const QPoint at =
            window->findChild<QPushButton *>(QLatin1String(button))->geometry().center();
        QVERIFY(window->isVisible());
        xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"),
                 QString::number(window->winId()), QString::number(at.x()), QString::number(at.y()),
                 QStringLiteral("click"), QStringLiteral("1")});
    }

    void verifyCorvaneOnTop(int shows, const char *when)
    {
        QStringList titles;
        for (int s = 1; s <= shows; ++s) {
            titles << showTitle(s);
        }
        int overlapping = 0;
        CHECKED(verifyOnTop(corvaneTitle, titles, when, overlapping));
        // From the second load on, Screen 2's show fills the display Corvane's window is on.
        QVERIFY2(
            overlapping == (shows >= 2 ? 1 : 0),
            qPrintable(
                QStringLiteral("%1: %2 shows overlap").arg(QLatin1String(when)).arg(overlapping)));
    }

    // The shown window of that title, in hexadecimal as xwininfo prints ids.
    QString windowId(const QString &title) const
    {
        const QString id =
            xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                     QStringLiteral("--name"),
                     QLatin1Char('^') + QRegularExpression::escape(title) + QLatin1Char('$')})
                .section(u'\n', 0, 0);
        return QStringLiteral("0x") + QString::number(id.toULongLong(), 16);
    }

    // Where a window is on the screen, its frame left out.
    QRect geometryOf(const QString &title) const
    {
        const QString id = windowId(title);
        const QString info =
            runTool(QStringLiteral("xwininfo"),
                    {QStringLiteral("-display"), display(), QStringLiteral("-id"), id});
        static const QRegularExpression numbers(
            QStringLiteral(
                "Absolute upper-left X:\\s+(-?\\d+).*Absolute upper-left Y:\\s+(-?\\d+).*"
                "Width:\\s+(\\d+).*Height:\\s+(\\d+)"),
            QRegularExpression::DotMatchesEverythingOption);
        const auto m = numbers.match(info);
        return m.hasMatch() ? QRect(m.captured(1).toInt(), m.captured(2).toInt(),
                                    m.captured(3).toInt(), m.captured(4).toInt())
                            : QRect();
    }

    // The shows that overlap the controller's window are below it; no show takes the focus,
    // the controller has it. overlapping: how many shows overlap it.
    void verifyOnTop(const QString &controller, const QStringList &shows, const char *when,
                     int &overlapping)
    {
        overlapping = 0;
        QStringList order;
        bool allThere = false;
        for (int i = 0; i < 200 && !allThere; ++i) {
            order = managedStacking(display());
            allThere = order.contains(controller);
            for (const QString &show : shows) {
                allThere = allThere && order.contains(show);
            }
            if (!allThere) {
                QTest::qWait(50);
            }
        }
        const auto state = [&](const QString &title) {
            return runTool(QStringLiteral("xprop"),
                           {QStringLiteral("-display"), display(), QStringLiteral("-id"),
                            windowId(title), QStringLiteral("_NET_WM_STATE"),
                            QStringLiteral("WM_HINTS")})
                .simplified();
        };
        // What the X server really has on top, whatever the window manager's own list says.
        const QStringList stacking = rootStacking(display());
        const auto height = [&](const QString &title) {
            return stacking.indexOf(topLevelOf(display(), windowId(title)));
        };
        QString context =
            QLatin1String(when) + QStringLiteral(": ") + order.join(u'|') + QStringLiteral("; ") +
            controller + QStringLiteral(" at %1").arg(height(controller)) +
            QStringLiteral("; focus on ") +
            xdotool({QStringLiteral("getwindowfocus"), QStringLiteral("getwindowname")}) +
            QStringLiteral("; ") + controller + QStringLiteral(": ") + state(controller);
        for (const QString &show : shows) {
            context += QStringLiteral("; ") + show + QStringLiteral(" at %1: ").arg(height(show)) +
                       state(show);
        }
        QVERIFY2(allThere, qPrintable(context));
        const QRect controllerRect = geometryOf(controller);
        for (const QString &show : shows) {
            // A show on another display may stand higher (openbox lifts a display-filling
            // window there), which hides nothing; one that overlaps must be below.
            if (geometryOf(show).intersects(controllerRect)) {
                ++overlapping;
                QVERIFY2(height(show) >= 0 && height(show) < height(controller),
                         qPrintable(context));
            }
            const QString hints =
                runTool(QStringLiteral("xprop"),
                        {QStringLiteral("-display"), display(), QStringLiteral("-id"),
                         windowId(show), QStringLiteral("WM_HINTS")});
            QVERIFY2(hints.contains(QLatin1String("accepts input or input focus: False")),
                     qPrintable(context + hints));
        }
        QCOMPARE(xdotool({QStringLiteral("getwindowfocus"), QStringLiteral("getwindowname")}),
                 controller.trimmed());
    }

    int slideOf(const std::shared_ptr<pa::Presentation> &pres) const
    {
        return pres->slideShowWindow()->view()->slide()->slideIndex();
    }

private slots:
    void initTestCase()
    {
        if (!desktop->whyNot.isEmpty()) {
            QSKIP(qPrintable(desktop->whyNot));
        }
        // A window mapped while the window manager is still starting can be missed; a first
        // window shown until it appears makes sure it manages windows before the tests start.
        QWidget probe;
        bool shown = false;
        for (int attempt = 0; attempt < 5 && !shown; ++attempt) {
            probe.show();
            shown = QTest::qWaitForWindowExposed(&probe, 10000);
            probe.hide();
        }
        QVERIFY2(shown, "the window manager shows no window");
    }

    void init()
    {
        m_host = std::make_unique<HostFixture>();
        m_host->options.hostArguments = {
            QStringLiteral("-platform"),   QStringLiteral("xcb"),
            QStringLiteral("-display"),    display(),
            QStringLiteral("--cache-dir"), m_host->path(QStringLiteral("cache"))};
        platform::setDriveCRoot(m_host->dir.path());
        for (int n = 1; n <= 3; ++n) {
            QDir(m_host->dir.path()).mkpath(QStringLiteral("Slide Shows/Screen %1 JPG").arg(n));
        }
        m_messages = std::make_shared<platform::testing::FakeMessageBox>();
        m_dialog = std::make_shared<platform::testing::FakeFileOpenDialog>();
        m_window = std::make_unique<frmControl>(ControlServices{
            pa::host::applicationFactory(m_host->options), m_messages, m_dialog, {}});
    }

    void cleanup()
    {
        m_window.reset();
        m_host.reset();
        platform::setDriveCRoot(QString());
    }

    void corvaneStaysAboveTheShowOnItsDisplay()
    {
        // Corvane on the primary display, Screen 2's show filling all of it, the others on the
        // displays left and right of it.
        m_window->Screen2Width = 1440;
        m_window->Screen3Left = 1440;
        const QRect places[] = {QRect(0, 0, 1024, 768), threeDisplayPrimary,
                                QRect(2944, 0, 1024, 768)};
        m_window->move(threeDisplayPrimary.topLeft() + QPoint(300, 200));
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get(), 30000));
        for (int d = 1; d <= 3; ++d) {
            const QString deck = m_host->path(QStringLiteral("Screen %1.pdf").arg(d));
            QVERIFY(makeDeck(deck, 6, d));
            m_dialog->answers.append(deck);
        }
        for (int d = 1; d <= 3; ++d) {
            CHECKED(click("cmdLoadShow"));
            QTRY_COMPARE_WITH_TIMEOUT(m_window->LoadNumber, std::int16_t(d), 60000);
            QVERIFY2(m_messages->shown.isEmpty(), qPrintable(m_messages->shown.value(0).text));
            QTRY_COMPARE_WITH_TIMEOUT(geometryOf(showTitle(d)), places[d - 1], 30000);
            CHECKED(verifyCorvaneOnTop(d, "after a load"));
        }

        const QString script = m_host->path(QStringLiteral("show.txt"));
        QFile file(script);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("0,1,1,1\r\n10,3,2,4\r\n6,5,6,4\r\n2,5,3,4\r\n");
        file.close();
        m_dialog->answers.append(script);
        CHECKED(click("cmdLoadScriptEd"));
        QTRY_COMPARE_WITH_TIMEOUT(m_window->strScriptLines.size(), qsizetype(5), 30000);

        // The presenter's clicker on Corvane's focused window.
        xdotool({QStringLiteral("key"), QStringLiteral("Next")});
        QTRY_COMPARE_WITH_TIMEOUT(m_window->Screen2Slide, 2, 30000);
        QCOMPARE(slideOf(m_window->ppPres2), 2);
        CHECKED(verifyCorvaneOnTop(3, "after Page Down"));
        CHECKED(click("cmdNextSlide"));
        QTRY_COMPARE_WITH_TIMEOUT(m_window->Screen2Slide, 6, 30000);
        CHECKED(verifyCorvaneOnTop(3, "after Next Slide"));

        // A host that dies comes back with its shows; they come back below Corvane.
        const auto pids = hostProcesses(m_host->runtimeDir);
        QCOMPARE(pids.size(), size_t(1));
        ::kill(static_cast<pid_t>(pids.front()), SIGKILL);
        QVERIFY(processGone(pids.front(), 10000));
        QTRY_COMPARE_WITH_TIMEOUT(hostProcesses(m_host->runtimeDir).size(), size_t(1), 60000);
        CHECKED(verifyCorvaneOnTop(3, "after the host came back"));
        CHECKED(click("cmdNextSlide"));
        QTRY_COMPARE_WITH_TIMEOUT(m_window->Screen2Slide, 3, 60000);
        QCOMPARE(slideOf(m_window->ppPres2), 3);
        CHECKED(verifyCorvaneOnTop(3, "after a step of the host that came back"));
    }

    void kestroStaysAboveItsShowAndItsNumbersWindowOpensInSight()
    {
        KestroServices services{
            pa::host::applicationFactory(m_host->options), m_messages, m_dialog, {}, {}};
        frmKestro kestro(std::move(services), kestro::Variant::Kestro);
        const QString title = kestro.windowTitle();
        const QString show = QStringLiteral("Kestro.pdf - Slide Show");
        // Numbers as confirmed in the display numbers window: the show fills the primary.
        kestro.screen()->intDisplaySet = 1;
        kestro.screen()->intWidth = 1440;
        kestro.move(threeDisplayPrimary.topLeft() + QPoint(300, 200));
        kestro.show();
        QVERIFY(QTest::qWaitForWindowExposed(&kestro, 30000));
        const QString deck = m_host->path(QStringLiteral("Kestro.pdf"));
        QVERIFY(makeDeck(deck, 6, 1));
        m_dialog->answers.append(deck);
        CHECKED(click(&kestro, "cmdLoadShow"));
        QTRY_VERIFY_WITH_TIMEOUT(kestro.ppPres1 != nullptr, 60000);
        QTRY_COMPARE_WITH_TIMEOUT(geometryOf(show), threeDisplayPrimary, 30000);
        int overlapping = 0;
        CHECKED(verifyOnTop(title, {show}, "after Load Show", overlapping));
        QCOMPARE(overlapping, 1);
        CHECKED(click(&kestro, "cmdNextSlide"));
        QTRY_COMPARE_WITH_TIMEOUT(slideOf(kestro.ppPres1), 2, 30000);
        CHECKED(verifyOnTop(title, {show}, "after Next Slide", overlapping));
        xdotool({QStringLiteral("key"), QStringLiteral("Next")});
        QTRY_COMPARE_WITH_TIMEOUT(slideOf(kestro.ppPres1), 3, 30000);
        QVERIFY2(m_messages->shown.isEmpty(), qPrintable(m_messages->shown.value(0).text));

        CHECKED(click(&kestro, "cmdLoadScreenNum"));
        QTRY_VERIFY_WITH_TIMEOUT(kestro.screen()->isVisible(), 30000);
        // Above Kestro's window once the window manager has put it up.
        const auto above = [&] {
            const QStringList stacking = rootStacking(display());
            const int owner = stacking.indexOf(topLevelOf(display(), windowId(title)));
            return owner >= 0 && stacking.indexOf(topLevelOf(
                                     display(), windowId(kestro.screen()->windowTitle()))) > owner;
        };
        QTRY_VERIFY2_WITH_TIMEOUT(above(), qPrintable(managedStacking(display()).join(u'|')),
                                  30000);
        // Beside Kestro's window, not behind it.
        QVERIFY(!kestro.screen()->frameGeometry().intersects(kestro.frameGeometry()));
    }
};

extern "C" const char *__asan_default_options()
{
    return "intercept_tls_get_addr=0";
}

// On a real X display Qt opens the session bus, and libdbus keeps a buffer it never frees for
// the life of the process: the system library's, not ours.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libdbus-1.so\n";
}

int main(int argc, char *argv[])
{
    Desktop d;
    desktop = &d;
    for (const char *tool : {"xdotool", "xprop", "xwininfo"}) {
        if (d.whyNot.isEmpty() && QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty()) {
            d.whyNot = QLatin1String(tool) + QStringLiteral(" is not installed");
        }
    }
    if (d.whyNot.isEmpty()) {
        d.x = std::make_unique<DummyXServer>(d.dir.filePath(QStringLiteral("x")));
        d.whyNot = d.x->whyNot();
    }
    if (d.whyNot.isEmpty()) {
        // Another window manager can be named for a check by hand ("xfwm4", "mutter --x11").
        const QString wm =
            qEnvironmentVariable("CORVANE_TEST_WINDOW_MANAGER", QStringLiteral("openbox"));
        d.wm = std::make_unique<WindowManager>(wm.split(u' ', Qt::SkipEmptyParts), d.x->display,
                                               d.dir.filePath(QStringLiteral("home")));
        d.whyNot = d.wm->whyNot();
    }
    if (d.whyNot.isEmpty()) {
        qputenv("QT_QPA_PLATFORM", "xcb");
        qputenv("DISPLAY", d.x->display.toLocal8Bit());
    } else {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    qputenv("QT_NO_GLIB", "1");
    int status = 0;
    {
        QApplication app(argc, argv);
        app.setAttribute(Qt::AA_Use96Dpi, true);
        TestDesktopWindows tc;
        QTEST_SET_MAIN_SOURCE_PATH
        status = QTest::qExec(&tc, argc, argv);
    }
    // The window manager before its X server.
    d.wm.reset();
    d.x.reset();
    return status;
}

#include "tst_desktop_windows.moc"
