// How a network command reaches a controller and its state comes back, over the loopback:
//  - press to state push: a client sends a press and waits for the state with a new
//    revision; 1,000 presses per transport (50 ms apart, the push rate's bound), p50/p99;
//  - a burst of 200 presses 50 ms apart while each step holds the window's thread for
//    120 ms: how many ran, and whether in order;
//  - press to push with and without a flood of 100,000 junk datagrams at the OSC and text
//    ports.
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

// The controller: a step holds the thread, then the state names how many steps ran and
// which press came last.
struct Controller : QObject
{
    remote::RemoteControl *control = nullptr;
    int steps = 0;
    int lastPress = 0;
    bool inOrder = true;
    std::chrono::milliseconds stepTime{0};

    void run(const QString &)
    {
        if (stepTime.count() > 0) {
            std::this_thread::sleep_for(stepTime);
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
        : m_osc(osc), m_framing(framing), m_tcp(type == SOCK_STREAM)
    {
        m_fd = ::socket(AF_INET, type, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(port);
        ::connect(m_fd, reinterpret_cast<sockaddr *>(&to), sizeof to);
        if (m_tcp && !osc) {
            awaitRevision(-2, 2000); // the greeting
        }
    }
    ~SocketClient() override { ::close(m_fd); }

    void press() override
    {
        QByteArray bytes;
        if (!m_osc) {
            bytes = "N\n";
        } else {
            const QByteArray message =
                remote::encodeOscMessage(QStringLiteral("/corvane/next"), {});
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
                // The revision is its own message; bytes around it do not matter here.
                const qsizetype at = data.indexOf("/corvane/state/revision");
                if (at >= 0 && data.size() >= at + 32) {
                    quint32 value = 0;
                    std::memcpy(&value, data.constData() + at + 28, 4);
                    revision = qint64(ntohl(value));
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
    bool m_tcp;
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
        qint64 revision = client->awaitRevision(-2, 300); // the current one, if sent
        for (int i = 0; i < presses; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
            const auto start = Clock::now();
            client->press();
            const qint64 next = client->awaitRevision(revision, 2000);
            if (next < 0) {
                ++figures.lost;
                continue;
            }
            figures.ms.push_back(msSince(start));
            revision = next;
        }
    });
    std::sort(figures.ms.begin(), figures.ms.end());
    return figures;
}

void print(const char *label, const Figures &f)
{
    std::printf("%-34s %4zu pushes, p50 %6.2f ms, p99 %6.2f ms, max %6.2f ms, %d lost\n", label,
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
        SocketClient client(SOCK_DGRAM, osc, true, 0);
        for (int i = 0; i < 200; ++i) {
            client.press();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
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
    std::printf("burst over OSC/UDP, 200 presses 50 ms apart, 120 ms steps: %d/200 executed\n",
                controller.steps - before);
    controller.stepTime = std::chrono::milliseconds(0);

    // The flood: junk at both datagram ports from another thread, presses meanwhile.
    const int floodPresses = std::min(presses, 200);
    const auto oscUdp = transports[0].second;
    print("OSC/UDP without a flood", pressToPush(oscUdp, floodPresses, 20));
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
    const Figures flooded = pressToPush(oscUdp, floodPresses, 20);
    flooding = false;
    flood.join();
    print("OSC/UDP during the flood", flooded);
    std::printf("junk datagrams sent: %d\n", sent.load());
    return 0;
}
