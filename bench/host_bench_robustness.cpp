// What the shows feel when a host comes back to a long journal, and when a program floods it
// (host_bench --robustness, and in a full run).

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

namespace {

// A journal left by a host that died with `count` presentations of deck, the last three
// with running shows: until the three shows are listed again, and until all are.
struct RestoreFigures
{
    double runningBackMs = -1;
    double allBackMs = -1;
    double worstStatusMs = 0;
};

RestoreFigures restoreLongJournal(ClientOptions options, const QString &deck, int count)
{
    RestoreFigures out;
    if (!preparePrivateFolder(options.runtimeDir).isEmpty()) {
        return out;
    }
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    QByteArray entries;
    for (int id = 1; id <= count; ++id) {
        const bool running = id > count - 3;
        entries += QStringLiteral(
                       R"(%1{"id":%2,"file":"%3","pdf":"%3","slides":3,"show":%4%5,"touched":%6})")
                       .arg(id == 1 ? QString() : QStringLiteral(","))
                       .arg(id)
                       .arg(deck)
                       .arg(running ? QStringLiteral("true") : QStringLiteral("false"))
                       .arg(running ? QStringLiteral(R"(,"slide":2)") : QString())
                       .arg(now - count + id)
                       .toUtf8();
    }
    QFile journal(journalPath(options.runtimeDir));
    if (!journal.open(QIODevice::WriteOnly) ||
        journal.write(QByteArray(R"({"version":1,"session":"bench","nextId":)") +
                      QByteArray::number(count) + R"(,"active":)" + QByteArray::number(count) +
                      R"(,"presentations":[)" + entries + "]}") < 0) {
        return out;
    }
    journal.close();
    static const QRegularExpression listed(QStringLiteral("^\\d+: "),
                                           QRegularExpression::MultilineOption);
    static const QRegularExpression running(QStringLiteral("show running on slide 2"));
    QElapsedTimer t;
    t.start();
    auto app = applicationFactory(options)();
    while (t.elapsed() < 120000 && out.allBackMs < 0) {
        QElapsedTimer asked;
        asked.start();
        QString status;
        try {
            status = statusListing(options);
        } catch (const AutomationError &) {
        }
        out.worstStatusMs = std::max(out.worstStatusMs, elapsedMs(asked));
        if (out.runningBackMs < 0 && status.count(running) == 3) {
            out.runningBackMs = elapsedMs(t);
        }
        if (status.count(listed) == count) {
            out.allBackMs = elapsedMs(t);
        }
        QThread::msleep(10);
    }
    endHost(options);
    return out;
}

// A program that sends status requests without end and never reads an answer, while
// another show is stepped: the steps' times.
Figures stepsDuringFlood(const ClientOptions &options, const QString &deck, int *cutOffs,
                         qint64 *peakKiB)
{
    Figures steps;
    auto app = applicationFactory(options)();
    auto pres = app->presentations()->open(deck.toStdString());
    pres->slideShowSettings()->run();
    auto view = pres->slideShowWindow()->view();
    std::atomic<bool> done{false};
    // A program that is cut off comes back at once and floods again.
    std::atomic<int> cuts{0};
    std::thread flood([&] {
        Request status;
        status.op = Op::Status;
        QByteArray burst;
        for (int i = 0; i < 1000; ++i) {
            burst += frame(encodeRequest(status));
        }
        const QByteArray path = QFile::encodeName(socketPath(options.runtimeDir));
        while (!done) {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
            if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
                ::close(fd);
                return;
            }
            const timeval wait{0, 100000};
            ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
            while (!done) {
                const ssize_t n =
                    ::send(fd, burst.constData(), static_cast<size_t>(burst.size()), MSG_NOSIGNAL);
                if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                    ++cuts;
                    break;
                }
            }
            ::close(fd);
        }
    });
    QThread::msleep(300);
    for (int i = 0; i < 300; ++i) {
        QElapsedTimer t;
        t.start();
        try {
            view->gotoSlide(1 + i % 3, msoTrue);
            steps.add(elapsedMs(t));
        } catch (const AutomationError &) {
            steps.add(elapsedMs(t));
        }
        QThread::msleep(20);
    }
    done = true;
    flood.join();
    *cutOffs = cuts;
    *peakKiB = peakMemoryKiB(runningHostPid(options));
    endHost(options);
    return steps;
}

} // namespace

namespace bench {

void printRobustness(const ClientOptions &options, const QString &dir)
{
    const QString small = dir + QStringLiteral("/small.pdf");
    pa::host::testing::makeDeck(small, 3);
    const RestoreFigures restored = restoreLongJournal(options, small, 1000);
    std::printf("\nA journal of 1000 presentations, 3 with running shows, put back\n");
    std::printf("%-44s %9.1f ms\n", "running shows listed again", restored.runningBackMs);
    std::printf("%-44s %9.1f ms\n", "all 1000 listed", restored.allBackMs);
    std::printf("%-44s %9.1f ms\n", "slowest status answer meanwhile", restored.worstStatusMs);
    int cuts = 0;
    qint64 peak = 0;
    const Figures flood = stepsDuringFlood(options, small, &cuts, &peak);
    print("step of a show while a program floods", flood);
    std::printf("    worst step %.2f ms; the flooding program was cut off %d times; host peak "
                "memory %.1f MiB\n",
                flood.ms.empty() ? 0.0 : *std::max_element(flood.ms.begin(), flood.ms.end()), cuts,
                static_cast<double>(peak) / 1024.0);
}

} // namespace bench
