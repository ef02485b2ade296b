#include "presentation_automation/host/service/host_log.h"

#include "presentation_automation/host/service/regular_file.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace pa::host {

namespace {

struct LogState
{
    std::mutex mutex;
    QByteArray path;
    std::int64_t maxBytes = hostLogMaxBytes;
    // The terminal the host was started from, if any: a person who starts it by hand sees
    // its messages there as well.
    int terminal = -1;
};

LogState &state()
{
    static LogState s;
    return s;
}

// Points stdout and stderr at the log, moving a full one aside first.
void openLog(LogState &s)
{
    struct stat st
    {
    };
    if (::stat(s.path.constData(), &st) == 0 && st.st_size >= s.maxBytes) {
        const QByteArray old = s.path + ".1";
        ::rename(s.path.constData(), old.constData());
    }
    const int fd = ::open(s.path.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) {
        return;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    ::dup2(fd, STDOUT_FILENO);
    ::dup2(fd, STDERR_FILENO);
    ::close(fd);
}

void writeMessage(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    static const char *const kinds[] = {"debug", "warning", "critical", "fatal", "info"};
    const auto kind = static_cast<size_t>(type) < std::size(kinds) ? kinds[type] : "message";
    const QByteArray line =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz ")).toUtf8() +
        kind + ": " + oneLine(message).toUtf8() + '\n';
    LogState &s = state();
    {
        std::lock_guard lock(s.mutex);
        struct stat st
        {
        };
        if (!s.path.isEmpty() && ::fstat(STDERR_FILENO, &st) == 0 &&
            st.st_size + line.size() > s.maxBytes) {
            openLog(s);
        }
        // One write per line, so lines of several threads never interleave.
        ssize_t written = ::write(STDERR_FILENO, line.constData(), line.size());
        if (s.terminal >= 0) {
            written = ::write(s.terminal, line.constData(), line.size());
        }
        (void)written;
    }
    if (type == QtFatalMsg) {
        std::abort();
    }
}

} // namespace

QString hostLogPath()
{
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base)) {
        base = QDir::homePath() + QStringLiteral("/.local/state");
    }
    return base + QStringLiteral("/presentation-host/host.log");
}

QString prepareHostLog()
{
    const QString path = hostLogPath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    return path;
}

void installHostLog(const QString &path, std::int64_t maxBytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    LogState &s = state();
    {
        std::lock_guard lock(s.mutex);
        s.path = QFile::encodeName(path);
        s.maxBytes = maxBytes;
        if (s.terminal < 0 && ::isatty(STDERR_FILENO) == 1) {
            s.terminal = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
        }
        openLog(s);
    }
    qInstallMessageHandler(writeMessage);
}

} // namespace pa::host
