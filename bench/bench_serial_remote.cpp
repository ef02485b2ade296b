// How a remote command reaches the program over a real serial line (a pty pair):
//  - latency: from the write of the last byte of "N" to the start of the handler it runs,
//    idle and with two busy-looping processes competing for the processors;
//  - a burst of presses 50 ms apart while each step holds the window's thread for 120 ms:
//    how many of the presses sent were executed.
// Prints figures; asserts nothing.

#include "platform/qt_serial_port.h"
#include "platform/testing/pty_pair.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// Processes that keep the processors busy until destroyed.
class BusyLoops
{
public:
    explicit BusyLoops(int count)
    {
        for (int i = 0; i < count; ++i) {
            const pid_t pid = ::fork();
            if (pid == 0) {
                volatile unsigned long spin = 0;
                for (;;) {
                    spin = spin + 1;
                }
            }
            if (pid > 0) {
                m_pids.push_back(pid);
            }
        }
    }
    ~BusyLoops()
    {
        for (const pid_t pid : m_pids) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
    BusyLoops(const BusyLoops &) = delete;
    BusyLoops &operator=(const BusyLoops &) = delete;

private:
    std::vector<pid_t> m_pids;
};

struct Port
{
    explicit Port(const platform::testing::PtyPair &line)
        : port([&](int) { return line.slavePath(); })
    {
        port.setCommPort(1);
        port.setRThreshold(1);
        port.setSettings(QStringLiteral("9600,n,8,1"));
        port.setPortOpen(true);
    }
    platform::QtSerialPort port;
};

void latency(const platform::testing::PtyPair &line, const char *label)
{
    Port p(line);
    const int commands = 200;
    std::vector<double> latencies;
    Clock::time_point written;
    QEventLoop loop;
    QTimer giveUp; // a press that never comes ends its wait after a second
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&p.port, &platform::SerialPort::onComm, &loop, [&] {
        const auto start = Clock::now();
        if (p.port.input() == QLatin1String("N")) {
            latencies.push_back(msBetween(written, start));
        }
        loop.quit();
    });
    for (int i = 0; i < commands; ++i) {
        written = Clock::now();
        line.write("N");
        giveUp.start(1000);
        loop.exec();
        giveUp.stop();
        QEventLoop pause;
        QTimer::singleShot(10, &pause, &QEventLoop::quit);
        pause.exec();
    }
    std::sort(latencies.begin(), latencies.end());
    const auto at = [&](double q) { return latencies[std::size_t(q * (latencies.size() - 1))]; };
    const int gap = p.port.quietGap();
    std::printf("%-5s last byte to handler start: %zu of %d read, median %.2f ms, p95 %.2f ms "
                "(p95 %.2f ms past the %d ms quiet gap), max %.2f ms\n",
                label, latencies.size(), commands, latencies.empty() ? 0.0 : at(0.5),
                latencies.empty() ? 0.0 : at(0.95), latencies.empty() ? 0.0 : at(0.95) - gap, gap,
                latencies.empty() ? 0.0 : latencies.back());
}

void burst(const platform::testing::PtyPair &line, const char *label)
{
    Port p(line);
    const int presses = 200;
    int executed = 0;
    int otherTexts = 0;
    QObject::connect(&p.port, &platform::SerialPort::onComm, [&] {
        if (p.port.input() == QLatin1String("N")) {
            ++executed;
            // A step that holds the window's thread, as three switches, exports and picture
            // loads do.
            std::this_thread::sleep_for(std::chrono::milliseconds(120));
        } else {
            ++otherTexts;
        }
    });
    std::atomic<bool> done = false;
    std::thread remote([&] {
        for (int i = 0; i < presses; ++i) {
            line.write("N");
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        done = true;
    });
    while (!done) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    remote.join();
    // The steps still owed take 120 ms each.
    QElapsedTimer tail;
    tail.start();
    int last = -1;
    while (tail.elapsed() < 2000 || last != executed) {
        last = executed;
        QEventLoop pause;
        QTimer::singleShot(200, &pause, &QEventLoop::quit);
        pause.exec();
        if (tail.elapsed() > 60000) {
            break;
        }
    }
    std::printf("%-5s burst, 200 presses 50 ms apart, 120 ms steps: %d/%d executed, %d texts "
                "ignored\n",
                label, executed, presses, otherTexts);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    platform::testing::PtyPair line;
    if (!line.isValid()) {
        std::printf("no pty pair available\n");
        return 1;
    }
    std::printf("serial remote, 9600,n,8,1\n");
    latency(line, "idle");
    if (!quick) {
        burst(line, "idle");
    }
    {
        const BusyLoops loops(2);
        latency(line, "busy");
        if (!quick) {
            burst(line, "busy");
        }
    }
    return 0;
}
