#include "presentation_automation/host/service/host_process.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace pa::host {

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    const int saved = errno;
    [[maybe_unused]] const auto n = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

QString raiseOpenFileLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        return QStringLiteral("The limit of open files cannot be read: %1")
            .arg(QString::fromLocal8Bit(std::strerror(errno)));
    }
    if (limit.rlim_cur == limit.rlim_max) {
        return QStringLiteral("Open files: up to %1.").arg(static_cast<qulonglong>(limit.rlim_cur));
    }
    const rlim_t before = limit.rlim_cur;
    limit.rlim_cur = limit.rlim_max;
    if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) {
        return QStringLiteral("The limit of open files stays at %1: %2")
            .arg(static_cast<qulonglong>(before))
            .arg(QString::fromLocal8Bit(std::strerror(errno)));
    }
    return QStringLiteral("Open files: up to %1 (raised from %2).")
        .arg(static_cast<qulonglong>(limit.rlim_cur))
        .arg(static_cast<qulonglong>(before));
}

void quitOnTerminationSignals()
{
    if (signalPipe[0] >= 0 || ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    auto *notifier =
        new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        char buffer[16];
        while (::read(signalPipe[0], buffer, sizeof buffer) > 0) {
        }
        QCoreApplication::quit();
    });
    struct sigaction action
    {
    };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        ::sigaction(sig, &action, nullptr);
    }
}

bool outOfFileDescriptors()
{
    const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return false;
    }
    return errno == EMFILE || errno == ENFILE;
}

void hostLog(const QString &line)
{
    qInfo("%s", qPrintable(line));
}

} // namespace pa::host
