#include "presentation_automation/host/service/regular_file.h"

#include <QFile>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace pa::host {

namespace {

QString kindProblem(mode_t mode)
{
    if (S_ISREG(mode)) {
        return {};
    }
    if (S_ISFIFO(mode)) {
        return QStringLiteral("is a named pipe, not a file");
    }
    if (S_ISSOCK(mode)) {
        return QStringLiteral("is a socket, not a file");
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return QStringLiteral("is a device, not a file");
    }
    if (S_ISDIR(mode)) {
        return QStringLiteral("is a folder, not a file");
    }
    return QStringLiteral("is not a regular file");
}

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

QString notARegularFile(const QString &path)
{
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        return {};
    }
    return kindProblem(st.st_mode);
}

int openRegularFile(const QString &path, QString *why)
{
    // Non-blocking, so that opening a named pipe returns at once instead of waiting for a
    // writer; the type is then checked on what was opened, not on a name that may change.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        const int error = errno;
        *why = error == EMFILE || error == ENFILE
                   ? QStringLiteral("cannot be opened: too many open files")
                   : QStringLiteral("cannot be read (%1)").arg(errnoText(error));
        return -1;
    }
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        *why = kindProblem(st.st_mode);
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

std::optional<QByteArray> readRegularFile(const QString &path, qint64 maxBytes, int deadlineMs,
                                          QString *why)
{
    const int fd = openRegularFile(path, why);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat st
    {
    };
    if (::fstat(fd, &st) == 0 && st.st_size > maxBytes) {
        *why = QStringLiteral("is larger than %1 MiB").arg(maxBytes / (1024 * 1024));
        ::close(fd);
        return std::nullopt;
    }
    struct Outcome
    {
        QByteArray bytes;
        int error = 0;
        bool tooLarge = false;
    };
    std::packaged_task<Outcome()> task([fd, maxBytes] {
        Outcome out;
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                out.error = errno;
                break;
            }
            if (n == 0) {
                break;
            }
            if (out.bytes.size() + n > maxBytes) {
                out.tooLarge = true;
                break;
            }
            out.bytes.append(buffer, n);
        }
        ::close(fd);
        return out;
    });
    auto result = task.get_future();
    std::thread(std::move(task)).detach();
    if (result.wait_for(std::chrono::milliseconds(deadlineMs)) != std::future_status::ready) {
        *why = QStringLiteral("was not read within %1 s").arg(deadlineMs / 1000.0);
        return std::nullopt;
    }
    Outcome out = result.get();
    if (out.error != 0) {
        *why = QStringLiteral("cannot be read (%1)").arg(errnoText(out.error));
        return std::nullopt;
    }
    if (out.tooLarge) {
        *why = QStringLiteral("is larger than %1 MiB").arg(maxBytes / (1024 * 1024));
        return std::nullopt;
    }
    return out.bytes;
}

QString oneLine(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '\n') {
            out += QLatin1String("\\n");
        } else if (u == '\r') {
            out += QLatin1String("\\r");
        } else if (u == '\t') {
            out += QLatin1String("\\t");
        } else if (u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0) || u == 0x2028 || u == 0x2029) {
            out += QStringLiteral("\\x{%1}").arg(static_cast<unsigned>(u), 2, 16, QLatin1Char('0'));
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace pa::host
