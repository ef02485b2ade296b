// How long a remote command takes to reach the program: from the write of "N" on a real
// serial line (a pty pair) to the port's receive event, which then runs the handler. Most of
// it is the quiet time that tells one command from the next. Prints figures; asserts nothing.

#include "platform/qt_serial_port.h"
#include "platform/testing/pty_pair.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    platform::testing::PtyPair line;
    if (!line.isValid()) {
        std::printf("no pty pair available\n");
        return 1;
    }
    platform::QtSerialPort port([&](int) { return line.slavePath(); });
    port.setCommPort(1);
    port.setRThreshold(1);
    port.setSettings(QStringLiteral("9600,n,8,1"));
    port.setPortOpen(true);

    const int commands = 300;
    std::vector<double> latencies;
    QElapsedTimer clock;
    QEventLoop loop;
    QObject::connect(&port, &platform::SerialPort::onComm, &loop, [&] {
        if (port.input() == QLatin1String("N")) {
            latencies.push_back(clock.nsecsElapsed() / 1e6);
        }
        loop.quit();
    });
    for (int i = 0; i < commands; ++i) {
        clock.start();
        line.write("N");
        QTimer::singleShot(1000, &loop, &QEventLoop::quit);
        loop.exec();
        QEventLoop pause;
        QTimer::singleShot(10, &pause, &QEventLoop::quit);
        pause.exec();
    }
    std::sort(latencies.begin(), latencies.end());
    const auto at = [&](double q) { return latencies[std::size_t(q * (latencies.size() - 1))]; };
    std::printf("serial remote, 9600,n,8,1, quiet gap %d ms, %zu of %d commands read\n",
                port.quietGap(), latencies.size(), commands);
    if (!latencies.empty()) {
        std::printf("write to receive event: median %.2f ms, 95th %.2f ms, max %.2f ms\n", at(0.5),
                    at(0.95), latencies.back());
    }
    return 0;
}
