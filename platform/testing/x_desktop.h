#pragma once

// A real X desktop for a test: Xorg's dummy driver with three displays joined by Xinerama
// (left 1024x768 at 0,0; the primary 1920x1080 at 1024,0; right 1280x1024 at 2944,0), a
// window manager on it, and what the X tools say about its windows. Each part ends with the
// object that started it, and with the test process if that dies first.

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QString>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <optional>
#include <vector>

#include <sys/prctl.h>

namespace platform::testing {

inline const char *const threeDisplayXorgConfig = R"(
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

// The primary display of that layout, in the X server's pixels.
inline const QRect threeDisplayPrimary(1024, 0, 1920, 1080);

// A child that is ended when the test process ends, however it ends.
inline void endWithParent(QProcess &process)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

inline void endProcess(QProcess &process)
{
    if (process.state() != QProcess::NotRunning) {
        process.terminate();
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
}

inline QString runTool(const QString &tool, const QStringList &arguments)
{
    QProcess p;
    p.start(tool, arguments);
    p.waitForFinished(10000);
    return QString::fromLocal8Bit(p.readAllStandardOutput());
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
        QDir().mkpath(folder + QStringLiteral("/empty"));
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly) || file.write(threeDisplayXorgConfig) < 0) {
            m_why = QStringLiteral("cannot write the X server's configuration");
            return;
        }
        file.close();
        m_server.setProcessChannelMode(QProcess::MergedChannels);
        endWithParent(m_server);
        m_server.start(xorg,
                       {display, QStringLiteral("-config"), config, QStringLiteral("-configdir"),
                        folder + QStringLiteral("/empty"), QStringLiteral("-noreset"),
                        QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                        QStringLiteral("-logfile"), folder + QStringLiteral("/xorg.log")});
        const QString socket = QStringLiteral("/tmp/.X11-unix/X%1").arg(number);
        for (int i = 0; i < 400 && !QFileInfo::exists(socket); ++i) {
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

    ~DummyXServer() { endProcess(m_server); }

    QString whyNot() const { return m_why; }

    QString display;

private:
    QProcess m_server;
    QString m_why;
};

// A window manager on the test's X server; ready once it has taken the screen.
class WindowManager
{
public:
    // command: the program and its arguments.
    WindowManager(const QStringList &command, const QString &display, const QString &home)
    {
        const QString program = command.value(0);
        const QString path = QStandardPaths::findExecutable(program);
        if (path.isEmpty()) {
            m_why = program + QStringLiteral(" is not installed");
            return;
        }
        if (QStandardPaths::findExecutable(QStringLiteral("xprop")).isEmpty()) {
            m_why = QStringLiteral("xprop is not installed");
            return;
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), display);
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/.cache"));
        m_wm.setProcessEnvironment(env);
        m_wm.setProcessChannelMode(QProcess::MergedChannels);
        endWithParent(m_wm);
        m_wm.start(path, command.mid(1));
        QDeadlineTimer deadline(30000);
        while (!deadline.hasExpired() && m_wm.state() != QProcess::NotRunning) {
            if (runTool(QStringLiteral("xprop"),
                        {QStringLiteral("-display"), display, QStringLiteral("-root"),
                         QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
                    .contains(QLatin1String("window id"))) {
                return;
            }
            QThread::msleep(100);
        }
        m_why = program + QStringLiteral(" did not take the screen: ") +
                QString::fromLocal8Bit(m_wm.readAll().right(400));
    }

    ~WindowManager() { endProcess(m_wm); }

    QString whyNot() const { return m_why; }

private:
    QProcess m_wm;
    QString m_why;
};

struct XWindow
{
    QString name;
    QRect geometry;
};

// The root's mapped children, lowest first, as the X server stacks them.
inline std::vector<XWindow> stackingOrder(const QString &display)
{
    static const QRegularExpression line(
        QStringLiteral(
            "^\\s+(0x[0-9a-f]+) \"([^\"]*)\": .*\\s(\\d+)x(\\d+)\\+(-?\\d+)\\+(-?\\d+)\\s"),
        QRegularExpression::MultilineOption);
    std::vector<XWindow> windows;
    auto it = line.globalMatch(runTool(QStringLiteral("xwininfo"),
                                       {QStringLiteral("-display"), display,
                                        QStringLiteral("-root"), QStringLiteral("-children")}));
    while (it.hasNext()) {
        const auto m = it.next();
        if (!runTool(QStringLiteral("xwininfo"),
                     {QStringLiteral("-display"), display, QStringLiteral("-id"), m.captured(1)})
                 .contains(QLatin1String("IsViewable"))) {
            continue;
        }
        windows.push_back({m.captured(2), QRect(m.captured(5).toInt(), m.captured(6).toInt(),
                                                m.captured(3).toInt(), m.captured(4).toInt())});
    }
    // xwininfo lists the children from the top of the stack down.
    std::reverse(windows.begin(), windows.end());
    return windows;
}

inline std::optional<XWindow> windowNamed(const std::vector<XWindow> &windows, const QString &name)
{
    for (const auto &w : windows) {
        if (w.name == name) {
            return w;
        }
    }
    return std::nullopt;
}

// The top-level window holding a client window: the window manager's frame around it, or the
// window itself where it has none. Ids as xwininfo prints them.
inline QString topLevelOf(const QString &display, QString id)
{
    static const QRegularExpression ids(
        QStringLiteral("Root window id: (0x[0-9a-f]+).*Parent window id: (0x[0-9a-f]+)"),
        QRegularExpression::DotMatchesEverythingOption);
    for (int depth = 0; depth < 10; ++depth) {
        const auto m = ids.match(runTool(QStringLiteral("xwininfo"),
                                         {QStringLiteral("-display"), display,
                                          QStringLiteral("-id"), id, QStringLiteral("-tree")}));
        if (!m.hasMatch() || m.captured(1) == m.captured(2)) {
            break;
        }
        id = m.captured(2);
    }
    return id;
}

// The root's children as the X server stacks them, lowest first: what is really on top.
inline QStringList rootStacking(const QString &display)
{
    static const QRegularExpression child(QStringLiteral("^\\s+(0x[0-9a-f]+) "),
                                          QRegularExpression::MultilineOption);
    QStringList ids;
    auto it = child.globalMatch(runTool(QStringLiteral("xwininfo"),
                                        {QStringLiteral("-display"), display,
                                         QStringLiteral("-root"), QStringLiteral("-children")}));
    while (it.hasNext()) {
        ids.prepend(it.next().captured(1));
    }
    return ids;
}

// The managed windows' titles as the window manager stacks them, lowest first.
inline QStringList managedStacking(const QString &display)
{
    const QString ids = runTool(QStringLiteral("xprop"),
                                {QStringLiteral("-display"), display, QStringLiteral("-root"),
                                 QStringLiteral("_NET_CLIENT_LIST_STACKING")});
    static const QRegularExpression id(QStringLiteral("0x[0-9a-f]+"));
    QStringList names;
    auto it = id.globalMatch(ids.mid(ids.indexOf(QLatin1Char('#'))));
    while (it.hasNext()) {
        const QString name = runTool(QStringLiteral("xprop"),
                                     {QStringLiteral("-display"), display, QStringLiteral("-id"),
                                      it.next().captured(0), QStringLiteral("_NET_WM_NAME")});
        const int quote = name.indexOf(QLatin1Char('"'));
        names << (quote < 0 ? QString() : name.mid(quote + 1).chopped(2));
    }
    return names;
}

} // namespace platform::testing
