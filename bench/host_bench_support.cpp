#include "bench/host_bench_support.h"

#include "presentation_automation/host/client/client.h"
#include "presentation_automation/host/service/protocol.h"
#include "presentation_automation/host/service/runtime_dir.h"
#include "presentation_automation/host/tests/deck_maker.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace pa;
using namespace pa::host;
using namespace bench;

namespace bench {

double elapsedMs(const QElapsedTimer &t)
{
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

void print(const char *what, const Figures &f, double reference)
{
    std::printf("%-44s median %9.2f ms   p95 %9.2f ms   (n=%zu)", what, f.median(), f.p95(),
                f.ms.size());
    if (reference > 0) {
        std::printf("   = %.2f x pdftoppm", f.median() / reference);
    }
    std::printf("\n");
}

// Presentation id -> slide drawn on screen, from the host's status listing.
std::map<int, int> slidesOnScreen(const ClientOptions &options)
{
    std::map<int, int> out;
    static const QRegularExpression line(
        QStringLiteral("^(\\d+): .*show running on slide \\d+, .*slide on screen: (\\d+)$"),
        QRegularExpression::MultilineOption);
    auto it = line.globalMatch(statusListing(options));
    while (it.hasNext()) {
        const auto m = it.next();
        out[m.captured(1).toInt()] = m.captured(2).toInt();
    }
    return out;
}

bool waitDrawn(const ClientOptions &options, int pres, int slide, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs) {
        if (slidesOnScreen(options)[pres] == slide) {
            return true;
        }
        QThread::usleep(500);
    }
    return false;
}

// Until the shows are drawn on these slides, with the event loop running (the controller
// notices a lost host there). Milliseconds, or -1 when not within timeoutMs.
double untilDrawn(const ClientOptions &options, const std::map<int, int> &slides, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs) {
        QCoreApplication::processEvents();
        std::map<int, int> now;
        try {
            now = slidesOnScreen(options);
        } catch (const AutomationError &) {
        }
        if (now == slides) {
            return elapsedMs(t);
        }
        QThread::usleep(500);
    }
    return -1;
}

// A file of size bytes that starts as a PDF and holds nothing after: the PDF library reads
// all of it before giving up. Sparse, so it costs no disk.
bool makeHollowFile(const QString &path, qint64 size, const QByteArray &head)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(head) == head.size() && f.resize(size);
}

qint64 peakMemoryKiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray &l : status.readAll().split('\n')) {
        if (l.startsWith("VmHWM:")) {
            return l.mid(6).trimmed().split(' ').first().toLongLong();
        }
    }
    return 0;
}

// Ends the host cleanly (it forgets its presentations), so the next start is a fresh one.
void endHost(const ClientOptions &options)
{
    const qint64 pid = runningHostPid(options);
    if (pid > 0) {
        ::kill(static_cast<pid_t>(pid), SIGTERM);
        QElapsedTimer t;
        t.start();
        while (QFile::exists(QStringLiteral("/proc/%1").arg(pid)) &&
               runningHostPid(options) == pid) {
            if (t.elapsed() > 5000) {
                ::kill(static_cast<pid_t>(pid), SIGKILL);
            }
            QThread::msleep(5);
        }
        QThread::msleep(50);
    }
}

// pdftoppm rendering one page to a raw picture of exactly width x height.
Figures pdftoppm(const QString &pdftoppm, const QString &deck, int page, int width, int height,
                 int runs, const QString &outDir)
{
    Figures f;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        QProcess::execute(pdftoppm,
                          {QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"),
                           QString::number(page), QStringLiteral("-scale-to-x"),
                           QString::number(width), QStringLiteral("-scale-to-y"),
                           QString::number(height), deck, outDir + QStringLiteral("/ref")});
        f.add(elapsedMs(t));
    }
    return f;
}

std::map<int, Listed> listed(const ClientOptions &options)
{
    static const QRegularExpression line(QStringLiteral(
        "^(\\d+): .*show running on slide (\\d+), .*?(?:last transition \\w+ in (\\d+) "
        "frames over \\S+ s, (\\d+) late, longest gap (\\S+) ms of a (\\S+) ms period, )?"
        "page on screen: (\\d+)"));
    std::map<int, Listed> out;
    for (const QString &l : statusListing(options).split(QLatin1Char('\n'))) {
        const auto m = line.match(l);
        if (m.hasMatch()) {
            out[m.captured(1).toInt()] = {m.captured(2).toInt(),    m.captured(7).toInt(),
                                          m.captured(3).toInt(),    m.captured(4).toInt(),
                                          m.captured(5).toDouble(), m.captured(6).toDouble()};
        }
    }
    return out;
}

bool waitPage(const ClientOptions &options, int pres, int page)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 60000) {
        if (listed(options)[pres].page == page) {
            return true;
        }
        QThread::usleep(500);
    }
    return false;
}

} // namespace bench
