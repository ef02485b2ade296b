// How a network command reaches a controller and its state comes back, over the loopback:
//  - press to state push: a client sends a press and waits for the state with a new
//    revision; 1,000 presses per transport (50 ms apart, the push rate's bound), p50/p99;
//  - a burst of 200 presses 50 ms apart while each step holds the window's thread for
//    120 ms: how many ran, and whether in order;
//  - with and without a flood of at least 100,000 junk datagrams at the OSC and text ports:
//    press to push, and how long a step of about 20 ms of work on the window's thread takes.
// The controller is a stand-in whose step holds the thread and then reports its state.
// Prints figures; asserts nothing.

#include "remote_control/osc.h"
#include "remote_control/remote_control.h"
#include "remote_control/remote_settings.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTcpServer>
#include <QTimer>
#include <QUdpSocket>
#include <QWebSocket>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point from)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

quint16 freePort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

// The controller: a step holds the thread (sleeping, or working for a fixed amount of
// computation whose duration is recorded), then the state names how many steps ran.
struct Controller : QObject
{
    remote::RemoteControl *control = nullptr;
    int steps = 0;
    int lastLine = 0;
    bool inOrder = true;
    std::chrono::milliseconds stepTime{0};
    std::uint64_t workPerStep = 0; // iterations of work, when steps compute
    std::vector<double> stepMs;
    volatile std::uint64_t sink = 0;

    void work()
    {
        std::uint64_t value = 1469598103934665603ULL;
        for (std::uint64_t i = 0; i < workPerStep; ++i) {
            value = (value ^ i) * 1099511628211ULL;
        }
        sink = value;
    }

    void run(const QString &command)
    {
        if (command.startsWith(QLatin1String("LINE "))) {
            const int line = command.mid(5).toInt();
            inOrder = inOrder && line == lastLine + 1;
            lastLine = line;
        }
        if (stepTime.count() > 0) {
            std::this_thread::sleep_for(stepTime);
        }
        if (workPerStep > 0) {
            const auto start = Clock::now();
            work();
            stepMs.push_back(msSince(start));
        }
        ++steps;
        control->setState({{QStringLiteral("steps"), steps}});
    }
};

// A client over one transport: sends a press, then reads state until its revision grows.
class Client
{
public:
    virtual ~Client() = default;
    virtual void press() = 0;
    virtual void requestState() = 0;
    // Waits for a state carrying a revision above `after`; its revision, or -1 on timeout.
    virtual qint64 awaitRevision(qint64 after, int timeoutMs) = 0;
};

qint64 revisionInText(const QByteArray &text)
{
    const qsizetype at = text.lastIndexOf("revision=");
    return at < 0 ? -1 : text.mid(at + 9).split(' ').first().toLongLong();
}

class SocketClient : public Client
{
public:
    SocketClient(int type, quint16 port, bool osc, int framing)
        : m_osc(osc), m_framing(framing), m_stream(type == SOCK_STREAM)
    {
        m_fd = ::socket(AF_INET, type, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(port);
        ::connect(m_fd, reinterpret_cast<sockaddr *>(&to), sizeof to);
    }
    ~SocketClient() override { ::close(m_fd); }

    void press() override { send(QStringLiteral("next"), "N\n"); }
    void requestState() override { send(QStringLiteral("state"), "STATE\n"); }

    void send(const QString &oscName, const QByteArray &text)
    {
        QByteArray bytes;
        if (!m_osc) {
            bytes = text;
        } else {
            const QByteArray message =
                remote::encodeOscMessage(QStringLiteral("/corvane/") + oscName, {});
            if (m_framing == 1) {
                bytes = remote::slipEncode(message);
            } else if (m_framing == 2) {
                bytes = QByteArray(4, '\0');
                const quint32 size = htonl(quint32(message.size()));
                std::memcpy(bytes.data(), &size, 4);
                bytes += message;
            } else {
                bytes = message;
            }
        }
        ::send(m_fd, bytes.constData(), size_t(bytes.size()), 0);
    }

    qint64 awaitRevision(qint64 after, int timeoutMs) override
    {
        const auto start = Clock::now();
        while (msSince(start) < timeoutMs) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 10) <= 0) {
                continue;
            }
            char buffer[65536];
            const ssize_t got = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (got <= 0) {
                return -1;
            }
            const QByteArray data(buffer, got);
            qint64 revision = -1;
            if (!m_osc) {
                revision = revisionInText(data);
            } else {
                QList<QByteArray> packets;
                if (m_framing == 0 && !m_stream) {
                    packets.append(data); // one datagram, one message
                } else {
                    m_reader.feed(data, &packets);
                }
                for (const QByteArray &packet : packets) {
                    QString error;
                    for (const remote::OscMessage &m : remote::decodeOscPacket(packet, &error)) {
                        if (m.address == QLatin1String("/corvane/state/revision")) {
                            revision = m.arguments.value(0).toLongLong();
                        }
                    }
                }
            }
            if (revision > after) {
                return revision;
            }
        }
        return -1;
    }

private:
    int m_fd = -1;
    bool m_osc;
    int m_framing; // 1 SLIP, 2 length, 0 bare (OSC over TCP)
    bool m_stream;
    remote::OscStreamReader m_reader; // replies come in the framing the client chose
};

// A WebSocket client with an event loop of its own thread.
class WebClient : public Client
{
public:
    explicit WebClient(quint16 port)
    {
        QEventLoop loop;
        QObject::connect(&m_socket, &QWebSocket::textMessageReceived,
                         [this](const QString &text) { m_last = revisionInJson(text); });
        QObject::connect(&m_socket, &QWebSocket::connected, &loop, &QEventLoop::quit);
        m_socket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1").arg(port)));
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    void press() override
    {
        m_socket.sendTextMessage(QStringLiteral("{\"command\":\"next\"}"));
        m_socket.flush();
    }
    void requestState() override
    {
        m_socket.sendTextMessage(QStringLiteral("{\"command\":\"state\"}"));
        m_socket.flush();
    }
    qint64 awaitRevision(qint64 after, int timeoutMs) override
    {
        const auto start = Clock::now();
        while (m_last <= after && msSince(start) < timeoutMs) {
            QEventLoop loop;
            loop.processEvents(QEventLoop::WaitForMoreEvents, 10);
        }
        return m_last > after ? m_last : -1;
    }

private:
    static qint64 revisionInJson(const QString &text)
    {
        const qsizetype at = text.indexOf(QLatin1String("\"revision\":"));
        return at < 0 ? -1 : text.mid(at + 11).section(QLatin1Char(','), 0, 0).toLongLong();
    }
    QWebSocket m_socket;
    qint64 m_last = -1;
};

struct Figures
{
    std::vector<double> ms;
    int lost = 0;
    double at(double q) const
    {
        return ms.empty() ? 0.0 : ms[std::size_t(q * double(ms.size() - 1))];
    }
};

// Runs client work on a thread of its own while the window's thread serves events.
void onClientThread(const std::function<void()> &work)
{
    std::atomic<bool> done = false;
    std::thread thread([&] {
        work();
        done = true;
    });
    while (!done) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    thread.join();
}

Figures pressToPush(const std::function<std::unique_ptr<Client>()> &make, int presses, int gapMs)
{
    Figures figures;
    onClientThread([&] {
        std::unique_ptr<Client> client = make();
        // Only these presses change the state, each by one revision: press i is answered by
        // the push that carries the first revision past the one before it.
        client->requestState();
        qint64 revision = client->awaitRevision(-2, 5000);
        for (int i = 0; i < presses && revision >= 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
            const auto start = Clock::now();
            client->press();
            const qint64 next = client->awaitRevision(revision, 2000);
            if (next < 0) {
                ++figures.lost;
                continue;
            }
            figures.ms.push_back(msSince(start));
            revision = std::max(revision + 1, next);
        }
    });
    std::sort(figures.ms.begin(), figures.ms.end());
    return figures;
}

void print(const char *label, const Figures &f)
{
    std::printf("%-40s %4zu, p50 %6.2f ms, p99 %6.2f ms, max %6.2f ms, %d lost\n", label,
                f.ms.size(), f.at(0.5), f.at(0.99), f.ms.empty() ? 0.0 : f.ms.back(), f.lost);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    int presses = 1000;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--presses") == 0) {
            presses = std::atoi(argv[i + 1]);
        }
    }
    remote::RemoteSettings settings;
    settings.oscPort = freePort();
    settings.textPort = freePort();
    settings.webSocketPort = freePort();
    remote::RemoteControl control(remote::Program::Corvane, settings, QString());
    Controller controller;
    controller.control = &control;
    QObject::connect(&control, &remote::RemoteControl::command, &controller, &Controller::run);
    control.setState({{QStringLiteral("steps"), 0}});
    QEventLoop settle;
    QTimer::singleShot(300, &settle, &QEventLoop::quit);
    settle.exec();

    const quint16 osc = settings.oscPort, text = settings.textPort, web = settings.webSocketPort;
    const std::pair<const char *, std::function<std::unique_ptr<Client>()>> transports[] = {
        {"OSC over UDP",
         [osc] { return std::make_unique<SocketClient>(SOCK_DGRAM, osc, true, 0); }},
        {"OSC over TCP, SLIP",
         [osc] { return std::make_unique<SocketClient>(SOCK_STREAM, osc, true, 1); }},
        {"OSC over TCP, 4-byte length",
         [osc] { return std::make_unique<SocketClient>(SOCK_STREAM, osc, true, 2); }},
        {"text over TCP",
         [text] { return std::make_unique<SocketClient>(SOCK_STREAM, text, false, 0); }},
        {"text over UDP",
         [text] { return std::make_unique<SocketClient>(SOCK_DGRAM, text, false, 0); }},
        {"WebSocket", [web] { return std::make_unique<WebClient>(web); }},
    };
    std::printf("press to state push, %d presses 50 ms apart, steps take no time\n", presses);
    for (const auto &[label, make] : transports) {
        print(label, pressToPush(make, presses, 50));
    }

    // The burst: presses 50 ms apart, each step 120 ms.
    controller.stepTime = std::chrono::milliseconds(120);
    const int before = controller.steps;
    onClientThread([osc] {
        const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(osc);
        for (int i = 1; i <= 200; ++i) {
            const QByteArray press =
                remote::encodeOscMessage(QStringLiteral("/corvane/line"), {qint64(i)});
            ::sendto(fd, press.constData(), size_t(press.size()), 0,
                     reinterpret_cast<sockaddr *>(&to), sizeof to);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ::close(fd);
    });
    QEventLoop tail;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (controller.steps - before >= 200) {
            tail.quit();
        }
    });
    poll.start(50);
    QTimer::singleShot(60000, &tail, &QEventLoop::quit);
    tail.exec();
    std::printf("burst over OSC/UDP, 200 presses 50 ms apart, 120 ms steps: %d/200 executed, %s\n",
                controller.steps - before, controller.inOrder ? "in order" : "OUT OF ORDER");
    controller.stepTime = std::chrono::milliseconds(0);

    // The flood: junk at both datagram ports from another thread, presses meanwhile. Each
    // step computes for about 20 ms on the window's thread; its duration is what the show
    // would feel.
    controller.workPerStep = 1;
    while (true) {
        const auto start = Clock::now();
        controller.work();
        if (msSince(start) >= 20.0) {
            break;
        }
        controller.workPerStep *= 2;
    }
    const int floodPresses = std::min(presses, 200);
    const auto oscUdp = transports[0].second;
    const auto stepFigures = [&controller] {
        Figures f;
        f.ms = controller.stepMs;
        std::sort(f.ms.begin(), f.ms.end());
        controller.stepMs.clear();
        return f;
    };
    print("OSC/UDP without a flood", pressToPush(oscUdp, floodPresses, 40));
    const Figures quietSteps = stepFigures();
    std::atomic<bool> flooding = true;
    std::atomic<int> sent = 0;
    std::thread flood([&] {
        const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const char junk[] = "/corvane/nxt\0\0\0\0,i\0\0\xff\xff";
        // About 25,000 a second, spread over the presses, and at least 100,000 in all.
        for (int i = 0; i < 100000 || flooding; ++i) {
            to.sin_port = htons(i % 2 ? osc : text);
            ::sendto(fd, junk, sizeof junk - std::size_t(i % 7), 0,
                     reinterpret_cast<sockaddr *>(&to), sizeof to);
            ++sent;
            if (i % 25 == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
        ::close(fd);
    });
    const Figures flooded = pressToPush(oscUdp, floodPresses, 40);
    flooding = false;
    flood.join();
    const Figures floodedSteps = stepFigures();
    print("OSC/UDP during the flood", flooded);
    std::printf("junk datagrams sent: %d\n", sent.load());
    print("step (~20 ms of work) without a flood", quietSteps);
    print("step (~20 ms of work) during the flood", floodedSteps);
    std::printf("slowest step during the flood minus slowest without: %+.2f ms\n",
                (floodedSteps.ms.empty() ? 0.0 : floodedSteps.ms.back()) -
                    (quietSteps.ms.empty() ? 0.0 : quietSteps.ms.back()));
    return 0;
}
