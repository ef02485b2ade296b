#pragma once

// What the controllers' network remote tests share: free loopback ports, and independent
// clients (socat, oscsend, Python's websockets) run as programs, their output read by line.

#include "remote_control/remote_settings.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTest>
#include <QUdpSocket>

#include <functional>
#include <memory>

namespace remote::testing {

// A port free for both TCP and UDP on the loopback, none of those in taken.
inline quint16 freePort(const QList<quint16> &taken = {})
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        QTcpServer server;
        if (!server.listen(QHostAddress::LocalHost, 0)) {
            continue;
        }
        const quint16 port = server.serverPort();
        QUdpSocket udp;
        if (!taken.contains(port) && udp.bind(QHostAddress::LocalHost, port)) {
            return port;
        }
    }
    qFatal("no free port");
}

inline RemoteSettings loopbackSettings()
{
    RemoteSettings settings;
    settings.oscPort = freePort();
    settings.textPort = freePort({settings.oscPort});
    settings.webSocketPort = freePort({settings.oscPort, settings.textPort});
    return settings;
}

inline bool haveTool(const QString &name)
{
    return !QStandardPaths::findExecutable(name).isEmpty();
}

// Sends a message with oscsend (liblo): over UDP, or over TCP with url "osc.tcp://...".
inline bool oscsend(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral("oscsend"), arguments);
    return process.waitForFinished(20000) && process.exitCode() == 0;
}

// An interactive client: what is written goes to its standard input, what it prints is
// collected line by line.
class LineClient
{
public:
    LineClient(const QString &program, const QStringList &arguments)
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(program, arguments);
    }
    ~LineClient()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    bool started() { return m_process.waitForStarted(10000); }
    // Ended by itself within timeoutMs, the event loop turning meanwhile.
    bool ended(int timeoutMs)
    {
        return QTest::qWaitFor([this] { return m_process.state() == QProcess::NotRunning; },
                               timeoutMs);
    }
    void send(const QByteArray &bytes) { m_process.write(bytes); }
    QStringList lines()
    {
        m_buffer += m_process.readAllStandardOutput();
        while (true) {
            const qsizetype end = m_buffer.indexOf('\n');
            if (end < 0) {
                break;
            }
            m_lines.append(QString::fromUtf8(m_buffer.left(end)).trimmed());
            m_buffer.remove(0, end + 1);
        }
        return m_lines;
    }
    // The first line printed since `from` that satisfies matches, waiting up to timeoutMs.
    QString waitFor(const std::function<bool(const QString &)> &matches, qsizetype from = 0,
                    int timeoutMs = 15000)
    {
        QString found;
        const auto seen = [&] {
            const QStringList all = lines();
            for (qsizetype i = from; i < all.size(); ++i) {
                if (matches(all.at(i))) {
                    found = all.at(i);
                    return true;
                }
            }
            return false;
        };
        if (!QTest::qWaitFor(seen, timeoutMs)) {
            return {};
        }
        return found;
    }
    qsizetype count() { return lines().size(); }

private:
    QProcess m_process;
    QByteArray m_buffer;
    QStringList m_lines;
};

// A WebSocket client in Python: each line written is sent as one message, each message
// received is printed on a line.
inline std::unique_ptr<LineClient> webSocketClient(quint16 port)
{
    static const char *const script = R"(
import asyncio, sys, websockets
async def main(uri):
    async with websockets.connect(uri) as ws:
        loop = asyncio.get_running_loop()
        async def pump():
            while True:
                line = await loop.run_in_executor(None, sys.stdin.readline)
                if not line:
                    await ws.close()
                    return
                await ws.send(line.strip())
        async def show():
            async for message in ws:
                print(message, flush=True)
        await asyncio.gather(pump(), show())
asyncio.run(main(sys.argv[1]))
)";
    return std::make_unique<LineClient>(QStringLiteral("/usr/bin/python3"),
                                        QStringList{QStringLiteral("-c"),
                                                    QString::fromLatin1(script),
                                                    QStringLiteral("ws://127.0.0.1:%1").arg(port)});
}

inline bool isState(const QString &line)
{
    return line.startsWith(QLatin1String("STATE ")) ||
           line.contains(QLatin1String("\"type\":\"state\""));
}

} // namespace remote::testing
