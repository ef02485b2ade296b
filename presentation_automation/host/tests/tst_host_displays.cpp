// Show windows under a real X server with three displays, the primary in the middle (Xorg's
// dummy driver with Xinerama): where they land, how high they are, and what stands above them.

#include "deck_maker.h"
#include "host_test_support.h"

#include "platform/testing/test_main.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <csignal>
#include <sys/prctl.h>

using namespace pa;
using namespace pa::host;
using namespace pa::host::testing;

namespace {

// Left 1024x768 at 0,0; the primary 1920x1080 at 1024,0; right 1280x1024 at 2944,0.
const char *const xorgConfig = R"(
Section "Monitor"
    Identifier "M"
    HorizSync 5.0 - 1000.0
    VertRefresh 5.0 - 200.0
    Modeline "1024x768" 65.00 1024 1048 1184 1344 768 771 777 806 -hsync -vsync
    Modeline "1920x1080" 148.50 1920 2008 2052 2200 1080 1084 1089 1125 +hsync +vsync
    Modeline "1280x1024" 108.00 1280 1328 1440 1688 1024 1025 1028 1066 +hsync +vsync
EndSection
Section "Device"
    Identifier "DP"
    Driver "dummy"
    VideoRam 65536
EndSection
Section "Device"
    Identifier "DL"
    Driver "dummy"
    VideoRam 65536
EndSection
Section "Device"
    Identifier "DR"
    Driver "dummy"
    VideoRam 65536
EndSection
Section "Screen"
    Identifier "P"
    Device "DP"
    Monitor "M"
    DefaultDepth 24
    SubSection "Display"
        Depth 24
        Modes "1920x1080"
        Virtual 1920 1080
    EndSubSection
EndSection
Section "Screen"
    Identifier "L"
    Device "DL"
    Monitor "M"
    DefaultDepth 24
    SubSection "Display"
        Depth 24
        Modes "1024x768"
        Virtual 1024 768
    EndSubSection
EndSection
Section "Screen"
    Identifier "R"
    Device "DR"
    Monitor "M"
    DefaultDepth 24
    SubSection "Display"
        Depth 24
        Modes "1280x1024"
        Virtual 1280 1024
    EndSubSection
EndSection
Section "ServerLayout"
    Identifier "Layout"
    Screen 0 "P" 1024 0
    Screen 1 "L" 0 0
    Screen 2 "R" 2944 0
    Option "Xinerama" "on"
EndSection
)";

std::string str(const QString &s)
{
    return s.toStdString();
}

// An X server of its own for the test, ended with it.
class DummyXServer
{
public:
    explicit DummyXServer(const QString &folder)
    {
        const QString xorg = QStandardPaths::findExecutable(QStringLiteral("Xorg"));
        if (xorg.isEmpty() ||
            !QFileInfo::exists(QStringLiteral("/usr/lib/xorg/modules/drivers/dummy_drv.so"))) {
            m_why = QStringLiteral("Xorg with the dummy driver is not installed");
            return;
        }
        int number = 70;
        while (QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)) ||
               QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(number))) {
            ++number;
        }
        display = QStringLiteral(":%1").arg(number);
        const QString config = folder + QStringLiteral("/xorg.conf");
        QFile file(config);
        QDir().mkpath(folder + QStringLiteral("/empty"));
        if (!file.open(QIODevice::WriteOnly) || file.write(xorgConfig) < 0) {
            m_why = QStringLiteral("cannot write the X server's configuration");
            return;
        }
        file.close();
        m_server.setProcessChannelMode(QProcess::MergedChannels);
        // Ended with the test whatever ends it (a crash, a timeout's kill), not only by the
        // destructor.
        m_server.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_server.start(xorg,
                       {display, QStringLiteral("-config"), config, QStringLiteral("-configdir"),
                        folder + QStringLiteral("/empty"), QStringLiteral("-noreset"),
                        QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                        QStringLiteral("-logfile"), folder + QStringLiteral("/xorg.log")});
        const QString socket = QStringLiteral("/tmp/.X11-unix/X%1").arg(number);
        for (int i = 0; i < 200 && !QFileInfo::exists(socket); ++i) {
            if (m_server.state() == QProcess::NotRunning) {
                break;
            }
            QThread::msleep(50);
        }
        if (!QFileInfo::exists(socket)) {
            m_why = QStringLiteral("Xorg did not start: ") +
                    QString::fromLocal8Bit(m_server.readAll().right(400));
        }
    }

    ~DummyXServer()
    {
        if (m_server.state() != QProcess::NotRunning) {
            m_server.terminate();
            if (!m_server.waitForFinished(5000)) {
                m_server.kill();
                m_server.waitForFinished(5000);
            }
        }
    }

    QString whyNot() const { return m_why; }

    QString display;

private:
    QProcess m_server;
    QString m_why;
};

struct XWindow
{
    QString name;
    QRect geometry;
};

// The root's mapped children, lowest first, as the X server stacks them.
std::vector<XWindow> stackingOrder(const QString &display)
{
    QProcess tree;
    tree.start(QStringLiteral("xwininfo"), {QStringLiteral("-display"), display,
                                            QStringLiteral("-root"), QStringLiteral("-children")});
    tree.waitForFinished(10000);
    static const QRegularExpression line(
        QStringLiteral(
            "^\\s+(0x[0-9a-f]+) \"([^\"]*)\": .*\\s(\\d+)x(\\d+)\\+(-?\\d+)\\+(-?\\d+)\\s"),
        QRegularExpression::MultilineOption);
    std::vector<XWindow> windows;
    auto it = line.globalMatch(QString::fromLocal8Bit(tree.readAllStandardOutput()));
    while (it.hasNext()) {
        const auto m = it.next();
        QProcess state;
        state.start(QStringLiteral("xwininfo"),
                    {QStringLiteral("-display"), display, QStringLiteral("-id"), m.captured(1)});
        state.waitForFinished(10000);
        if (!state.readAllStandardOutput().contains("IsViewable")) {
            continue;
        }
        windows.push_back({m.captured(2), QRect(m.captured(5).toInt(), m.captured(6).toInt(),
                                                m.captured(3).toInt(), m.captured(4).toInt())});
    }
    // xwininfo lists the children from the top of the stack down.
    std::reverse(windows.begin(), windows.end());
    return windows;
}

std::optional<XWindow> windowNamed(const std::vector<XWindow> &windows, const QString &name)
{
    for (const auto &w : windows) {
        if (w.name == name) {
            return w;
        }
    }
    return std::nullopt;
}

} // namespace

class TestHostDisplays : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<HostFixture> m_fx;
    std::unique_ptr<DummyXServer> m_x;

    // Polls the X server until the named window has this geometry (the host moves it after
    // answering).
    std::optional<XWindow> waitForWindow(const QString &name, const QRect &geometry)
    {
        std::optional<XWindow> seen;
        for (int i = 0; i < 100; ++i) {
            seen = windowNamed(stackingOrder(m_x->display), name);
            if (seen && seen->geometry == geometry) {
                break;
            }
            // The client starts a host again from its event loop when one dies.
            QTest::qWait(50);
        }
        return seen;
    }

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("xwininfo")).isEmpty()) {
            QSKIP("xwininfo is not installed");
        }
    }

    void init()
    {
        m_fx = std::make_unique<HostFixture>();
        m_x = std::make_unique<DummyXServer>(m_fx->path(QStringLiteral("x")));
        if (!m_x->whyNot().isEmpty()) {
            QSKIP(qPrintable(m_x->whyNot()));
        }
        m_fx->options.hostArguments = {QStringLiteral("-platform"), QStringLiteral("xcb"),
                                       QStringLiteral("-display"), m_x->display};
    }

    void cleanup()
    {
        m_fx.reset();
        m_x.reset();
    }

    void showsLandOnTheirDisplaysAndStayAboveTheHost()
    {
        // Three loads as Corvane does them: make the application visible, open, run, place.
        struct Screen
        {
            QString file;
            float left, top, width;
            QSizeF slide;
            QRect expected; // in the X server's pixels
        };
        const std::vector<Screen> screens{
            // 4:3 at 768 pt = 1024 px on the 1024x768 display left of the primary: all of it.
            {QStringLiteral("Screen 1.pdf"), -768, 0, 768, QSizeF(720, 540),
             QRect(0, 0, 1024, 768)},
            // 4:3 at the primary's full width would be 1440 px high: cut to the display.
            {QStringLiteral("Screen 2.pdf"), 0, 0, 1440, QSizeF(720, 540),
             QRect(1024, 0, 1920, 1080)},
            // 16:9 on the display right of the primary, a little down.
            {QStringLiteral("Screen 3.pdf"), 1440, 30, 960, QSizeF(960, 540),
             QRect(2944, 40, 1280, 720)},
        };
        auto app = applicationFactory(m_fx->options)();
        std::vector<std::shared_ptr<Presentation>> shows;
        for (size_t i = 0; i < screens.size(); ++i) {
            const Screen &s = screens[i];
            const QString file = m_fx->path(s.file);
            QVERIFY(makeDeck(file, 3, static_cast<int>(i), s.slide));
            app->setVisible(msoTrue);
            auto pres = app->presentations()->open(str(file));
            pres->slideShowSettings()->run();
            auto window = pres->slideShowWindow();
            window->setLeft(s.left);
            window->setTop(s.top);
            window->setWidth(s.width);
            shows.push_back(pres);
        }
        app->setVisible(msoTrue);

        const QString status = statusListing(m_fx->options);
        for (const Screen &s : screens) {
            const QString title = s.file + QStringLiteral(" - Slide Show");
            const auto seen = waitForWindow(title, s.expected);
            QVERIFY2(seen, qPrintable(title));
            QCOMPARE(seen->geometry, s.expected);
            // What was set reads back exactly.
            QVERIFY2(status.contains(QStringLiteral("window left %1 pt, top %2 pt, width %3 pt")
                                         .arg(s.left)
                                         .arg(s.top)
                                         .arg(s.width)),
                     qPrintable(status));
        }

        const auto order = stackingOrder(m_x->display);
        const auto host = std::find_if(order.begin(), order.end(), [](const XWindow &w) {
            return w.name == QLatin1String("Presentation host");
        });
        QVERIFY2(host != order.end(), "the host's window is not shown");
        for (auto below = order.begin(); below != host; ++below) {
            QVERIFY2(!below->name.endsWith(QLatin1String(" - Slide Show")),
                     qPrintable(below->name + QStringLiteral(" is below the host's window")));
        }

        // A host that dies puts every show back on its own display, as placed, and the same
        // handles step them.
        const auto pids = hostProcesses(m_fx->runtimeDir);
        QCOMPARE(pids.size(), size_t(1));
        ::kill(static_cast<pid_t>(pids.front()), SIGKILL);
        QVERIFY(processGone(pids.front(), 5000));
        for (const Screen &s : screens) {
            const QString title = s.file + QStringLiteral(" - Slide Show");
            const auto seen = waitForWindow(title, s.expected);
            QVERIFY2(seen, qPrintable(title + QStringLiteral(" did not come back")));
            QCOMPARE(seen->geometry, s.expected);
        }
        auto view = shows[1]->slideShowWindow()->view();
        view->next();
        QCOMPARE(view->slide()->slideIndex(), 2);
    }
};

CORVANE_TEST_MAIN(TestHostDisplays)
#include "tst_host_displays.moc"
