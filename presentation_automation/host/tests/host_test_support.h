#pragma once

// What the host's end-to-end tests share: a private runtime folder per test, options that
// start the real host program on the offscreen platform, and ways to find and end the host
// processes a test started.

#include "presentation_automation/host/client/client.h"
#include "presentation_automation/host/service/runtime_dir.h"

#include "platform/testing/x_desktop.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPoint>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pa::host::testing {

inline std::string str(const QString &s)
{
    return s.toStdString();
}

// The AutomationError a call throws, or nullopt when it throws none.
template<typename F> std::optional<AutomationError> errorOf(F &&call)
{
    try {
        call();
    } catch (const AutomationError &e) {
        return e;
    }
    return std::nullopt;
}

// Processes whose command line names this runtime folder, that is the hosts started for it.
inline std::vector<qint64> hostProcesses(const QString &runtimeDir)
{
    std::vector<qint64> pids;
    const QByteArray needle = QFile::encodeName(runtimeDir);
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        if (!isPid) {
            continue;
        }
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(entry));
        if (!cmdline.open(QIODevice::ReadOnly)) {
            continue;
        }
        const QByteArray text = cmdline.readAll();
        if (!text.contains("presentation_host") || !text.contains(needle)) {
            continue;
        }
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (stat.open(QIODevice::ReadOnly)) {
            const QByteArray s = stat.readAll();
            const auto close = s.lastIndexOf(')');
            if (close >= 0 && close + 2 < s.size() && s.at(close + 2) == 'Z') {
                continue;
            }
        }
        pids.push_back(pid);
    }
    return pids;
}

// Gone with everything it held: reaped, or a zombie whose every thread has ended. The
// first thread turns zombie while the others still end (and hold its files, its socket
// among them), so its state alone does not say the socket is closed.
inline bool processEnded(qint64 pid)
{
    const QString dir = QStringLiteral("/proc/%1").arg(pid);
    const QStringList tasks =
        QDir(dir + QStringLiteral("/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QFile stat(dir + QStringLiteral("/stat"));
    if (!stat.open(QIODevice::ReadOnly)) {
        return true;
    }
    const QByteArray s = stat.readAll();
    const auto close = s.lastIndexOf(')');
    const bool zombie = close >= 0 && close + 2 < s.size() && s.at(close + 2) == 'Z';
    return zombie && tasks.size() <= 1;
}

inline bool processGone(qint64 pid, int waitMs)
{
    QDeadlineTimer deadline(waitMs);
    while (!deadline.hasExpired()) {
        if (processEnded(pid)) {
            return true;
        }
        QThread::msleep(10);
    }
    return false;
}

// The runtime folders of the fixtures alive now: if a test ends the program by an uncaught
// exception, their hosts are ended too instead of being left behind.
inline std::vector<QString> &liveRuntimeDirs()
{
    static std::vector<QString> dirs;
    return dirs;
}

inline void endHostsOf(const QString &runtimeDir)
{
    for (qint64 pid : hostProcesses(runtimeDir)) {
        ::kill(static_cast<pid_t>(pid), SIGKILL);
        ::kill(static_cast<pid_t>(pid), SIGCONT);
        processGone(pid, 5000);
    }
}

class HostFixture
{
public:
    HostFixture()
    {
        static const bool handlerSet = [] {
            std::set_terminate([] {
                for (const QString &d : liveRuntimeDirs()) {
                    endHostsOf(d);
                }
                std::abort();
            });
            return true;
        }();
        (void)handlerSet;
        runtimeDir = dir.filePath(QStringLiteral("runtime"));
        liveRuntimeDirs().push_back(runtimeDir);
        // The hosts of a test log into its own folder, not the user's.
        qputenv("XDG_STATE_HOME", QFile::encodeName(dir.filePath(QStringLiteral("state"))));
        options.runtimeDir = runtimeDir;
        options.hostProgram =
            QCoreApplication::applicationDirPath() + QStringLiteral("/presentation_host");
        options.hostArguments = {QStringLiteral("-platform"), QStringLiteral("offscreen"),
                                 QStringLiteral("--cache-dir"),
                                 dir.filePath(QStringLiteral("cache"))};
    }

    ~HostFixture()
    {
        endHostsOf(runtimeDir);
        std::erase(liveRuntimeDirs(), runtimeDir);
    }

    QString path(const QString &name) const { return dir.filePath(name); }

    // The hosts it starts show their windows on that X display (a test's own server).
    void showOn(const QString &display, const QStringList &more = {})
    {
        options.hostArguments =
            QStringList{QStringLiteral("-platform"),   QStringLiteral("xcb"),
                        QStringLiteral("-display"),    display,
                        QStringLiteral("--cache-dir"), dir.filePath(QStringLiteral("cache"))} +
            more;
    }

    // The host's status listing; empty while no host answers.
    QString listing() const
    {
        try {
            return statusListing(options);
        } catch (const AutomationError &) {
            return {};
        }
    }
    bool onScreen(int slide) const
    {
        return listing().contains(QStringLiteral("slide on screen: %1").arg(slide));
    }

    QString log() const
    {
        QFile file(dir.filePath(QStringLiteral("state/presentation-host/host.log")));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    // For a failure's message: the listing and the log's lines on media.
    QString mediaState() const
    {
        const QStringList media = log().split(QLatin1Char('\n')).filter(QLatin1String("medium"));
        return listing() + QLatin1Char('\n') + media.join(QLatin1Char('\n'));
    }

    QTemporaryDir dir;
    QString runtimeDir;
    ClientOptions options;
};

// Polls pred until it holds or ms have passed, however long each look takes.
template<typename Pred> bool waitFor(Pred pred, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!pred()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QTest::qWait(20);
    }
    return true;
}

// A fresh fixture whose host shows on an X server of its own, for a test's init(): empty, or
// why no X server runs here (the test is then skipped). The fixture goes before its server.
inline QString startHostOnX(std::unique_ptr<HostFixture> &fixture,
                            std::unique_ptr<platform::testing::DummyXServer> &x,
                            const QStringList &hostArguments = {})
{
    fixture = std::make_unique<HostFixture>();
    x = std::make_unique<platform::testing::DummyXServer>(fixture->path(QStringLiteral("x")));
    if (!x->whyNot().isEmpty()) {
        return x->whyNot();
    }
    fixture->showOn(x->display, hostArguments);
    return {};
}

// The pages a status listing says are held as frames for the first show it lists.
inline QStringList heldPagesIn(const QString &listing)
{
    static const QRegularExpression held(QStringLiteral("frames held for pages: ([^;]*);"));
    return held.match(listing).captured(1).split(QStringLiteral(", "), Qt::SkipEmptyParts);
}

// The top left corner of the show window of the deck named `fileName` (its file name, as the
// listing shows it), in the X server's pixels, from the host's status listing; nothing when
// no such show runs.
inline std::optional<QPoint> showWindowCorner(const ClientOptions &options, const QString &fileName)
{
    const QRegularExpression line(QStringLiteral("^\\d+: .*%1.* px at (-?\\d+),(-?\\d+)\\)")
                                      .arg(QRegularExpression::escape(fileName)),
                                  QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = line.match(statusListing(options));
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    return QPoint(match.captured(1).toInt(), match.captured(2).toInt());
}

// The average colour of a small patch near the top left corner, clear of the page number.
inline QColor cornerColour(const QImage &image)
{
    int r = 0, g = 0, b = 0;
    for (int y = 8; y < 13; ++y) {
        for (int x = 8; x < 13; ++x) {
            const QColor c = image.pixelColor(x, y);
            r += c.red();
            g += c.green();
            b += c.blue();
        }
    }
    return QColor(r / 25, g / 25, b / 25);
}

inline bool sameColour(const QColor &a, const QColor &b, int tolerance = 24)
{
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

} // namespace pa::host::testing
