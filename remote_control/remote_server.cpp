#include "remote_server.h"

#include "http_remote.h"
#include "http_rules.h"
#include "remote_log.h"

#include <QFile>
#include <QHostInfo>
#include <QJsonDocument>
#include <QNetworkDatagram>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>
#include <QWebSocket>
#include <QWebSocketServer>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/resource.h>
#include <sys/syscall.h>
#endif

namespace remote {

namespace {

constexpr int maxClientsPerKind = 32;
constexpr int maxUdpPeers = 256;
constexpr qint64 udpSubscriptionMs = 60000;
constexpr qint64 coalesceMs = 50; // at most 20 pushes a second
constexpr qint64 heartbeatMs = 1000;
constexpr qint64 errorAnswerGapMs = 200;
// A client that reads nothing is cut off before its backlog grows past this.
constexpr qint64 maxBacklog = 256 * 1024;
constexpr int maxFailureRecords = 1024;

QString kindName(int kind)
{
    return kind == 0   ? QStringLiteral("OSC")
           : kind == 1 ? QStringLiteral("text")
                       : QStringLiteral("WebSocket");
}

QString endpoint(const QHostAddress &address, quint16 port)
{
    return address.toString() + QLatin1Char(':') + QString::number(port);
}

} // namespace

struct RemoteServer::Client
{
    Kind kind = Kind::Text;
    QPointer<QTcpSocket> tcp;
    QPointer<QWebSocket> webSocket;
    OscStreamReader osc;
    LineSplitter lines;
    Right right = Right::None;
    QString key;
    QHostAddress peer, local;
    quint16 peerPort = 0, localPort = 0;
    qint64 lastErrorMs = -1000000;
    // A backup following this show: how it says it follows (empty for other clients).
    QString follower;
};

RemoteServer::RemoteServer(Program program, RemoteSettings settings, QString logPath,
                           QObject *parent)
    : QObject(parent), m_program(program), m_settings(std::move(settings)),
      m_log(std::make_unique<RemoteLog>(std::move(logPath)))
{}

RemoteServer::~RemoteServer()
{
    for (const auto &client : m_clients) {
        delete client->tcp.data();
        delete client->webSocket.data();
    }
}

qint64 RemoteServer::slowdownMs(int failures)
{
    return failures <= 0 ? 0 : std::min<qint64>(qint64(1000) << std::min(failures - 1, 6), 60000);
}

void RemoteServer::start()
{
#ifdef Q_OS_LINUX
    // Under a flood the window's thread comes first: its steps are what the audience sees.
    ::setpriority(PRIO_PROCESS, pid_t(::syscall(SYS_gettid)), 5);
#endif
    m_clock.start();
    m_heartbeat = new QTimer(this);
    m_heartbeat->setInterval(int(heartbeatMs));
    connect(m_heartbeat, &QTimer::timeout, this, &RemoteServer::heartbeat);
    m_heartbeat->start();
    m_coalesce = new QTimer(this);
    m_coalesce->setSingleShot(true);
    connect(m_coalesce, &QTimer::timeout, this, &RemoteServer::pushAll);

    if (!m_settings.enabled) {
        m_log->write(QStringLiteral("remote off in the settings"));
        m_listening.append(QStringLiteral("off (Enabled=false)"));
        publishStatus();
        return;
    }
    QStringList unknown;
    QList<QHostAddress> addresses = listenAddresses(m_settings.interfaces, &unknown);
    for (const QString &name : unknown) {
        m_log->write(QStringLiteral("no IPv4 address for interface %1").arg(name));
    }
    if (addresses.size() > 1 && m_settings.viewToken.isEmpty() &&
        m_settings.controlToken.isEmpty()) {
        // Off the loopback every client needs a token; with none set, nobody could use it.
        m_log->write(QStringLiteral("interfaces named but no ViewToken or ControlToken set: "
                                    "listening on the loopback only"));
        m_listening.append(QStringLiteral("loopback only: set ViewToken or ControlToken"));
        addresses = {QHostAddress(QHostAddress::LocalHost)};
    }
    if (addresses.contains(QHostAddress(QHostAddress::AnyIPv4))) {
        addresses = {QHostAddress(QHostAddress::AnyIPv4)};
    }
    for (const QHostAddress &address : addresses) {
        if (m_settings.oscPort != 0) {
            listenUdp(Kind::Osc, address, m_settings.oscPort);
            listenTcp(Kind::Osc, address, m_settings.oscPort);
        }
        if (m_settings.textPort != 0) {
            listenTcp(Kind::Text, address, m_settings.textPort);
            listenUdp(Kind::Text, address, m_settings.textPort);
        }
        if (m_settings.webSocketPort != 0) {
            listenWebSocket(address, m_settings.webSocketPort);
        }
        if (m_settings.httpPort != 0) {
            listenHttp(address, m_settings.httpPort);
        }
    }
    publishStatus();
}

void RemoteServer::listenUdp(Kind kind, const QHostAddress &address, quint16 port)
{
    auto *socket = new QUdpSocket(this);
    const QString what =
        QStringLiteral("%1 UDP %2").arg(kindName(int(kind)), endpoint(address, port));
    if (!socket->bind(address, port)) {
        m_log->write(QStringLiteral("cannot listen: %1: %2").arg(what, socket->errorString()));
        m_listening.append(QStringLiteral("%1 failed: %2").arg(what, socket->errorString()));
        delete socket;
        return;
    }
    connect(socket, &QUdpSocket::readyRead, this,
            [this, socket, kind] { readDatagrams(socket, kind); });
    m_log->write(QStringLiteral("listening: %1").arg(what));
    m_listening.append(what);
}

void RemoteServer::listenTcp(Kind kind, const QHostAddress &address, quint16 port)
{
    auto *server = new QTcpServer(this);
    const QString what =
        QStringLiteral("%1 TCP %2").arg(kindName(int(kind)), endpoint(address, port));
    if (!server->listen(address, port)) {
        m_log->write(QStringLiteral("cannot listen: %1: %2").arg(what, server->errorString()));
        m_listening.append(QStringLiteral("%1 failed: %2").arg(what, server->errorString()));
        delete server;
        return;
    }
    connect(server, &QTcpServer::newConnection, this,
            [this, server, kind] { acceptTcp(server, kind); });
    m_log->write(QStringLiteral("listening: %1").arg(what));
    m_listening.append(what);
}

void RemoteServer::listenWebSocket(const QHostAddress &address, quint16 port)
{
    auto *server =
        new QWebSocketServer(QStringLiteral("remote"), QWebSocketServer::NonSecureMode, this);
    const QString what = QStringLiteral("WebSocket ws://%1").arg(endpoint(address, port));
    if (!server->listen(address, port)) {
        m_log->write(QStringLiteral("cannot listen: %1: %2").arg(what, server->errorString()));
        m_listening.append(QStringLiteral("%1 failed: %2").arg(what, server->errorString()));
        delete server;
        return;
    }
    server->setMaxPendingConnections(maxClientsPerKind);
    connect(server, &QWebSocketServer::newConnection, this,
            [this, server] { acceptWebSocket(server); });
    m_log->write(QStringLiteral("listening: %1").arg(what));
    m_listening.append(what);
}

void RemoteServer::listenHttp(const QHostAddress &address, quint16 port)
{
    if (!m_http) {
        m_http = makeHttpRemote(*this);
        if (!m_http) {
            return; // built without an HTTP server
        }
    }
    const QString what = QStringLiteral("HTTP http://%1").arg(endpoint(address, port));
    if (const QString why = m_http->listen(address, port); !why.isEmpty()) {
        m_log->write(QStringLiteral("cannot listen: %1: %2").arg(what, why));
        m_listening.append(QStringLiteral("%1 failed: %2").arg(what, why));
        return;
    }
    m_log->write(QStringLiteral("listening: %1").arg(what));
    m_listening.append(what);
}

void RemoteServer::setPageData(const QString &name, const QByteArray &tag, const QByteArray &bytes)
{
    if (m_http) {
        m_http->setPageData(name, tag, bytes);
    }
}

QJsonObject RemoteServer::stateObject() const
{
    return stateJson(m_state, m_revision);
}

// ---------------------------------------------------------------- who may do what

RemoteServer::Owner RemoteServer::ownerOf(const QHostAddress &peer, quint16 peerPort,
                                          const QHostAddress &local, quint16 localPort, bool tcp)
{
#ifdef Q_OS_LINUX
    const QString cacheKey = endpoint(peer, peerPort);
    if (!tcp) {
        const auto cached = m_ownerCache.constFind(cacheKey);
        if (cached != m_ownerCache.cend()) {
            return cached.value();
        }
    }
    QFile table(tcp ? QStringLiteral("/proc/net/tcp") : QStringLiteral("/proc/net/udp"));
    std::optional<unsigned> uid;
    if (table.open(QIODevice::ReadOnly)) {
        const QByteArray rows = table.readAll();
        uid = tcp ? uidInProcNetTable(rows, peer.toIPv4Address(), peerPort, local.toIPv4Address(),
                                      localPort)
                  : uidInProcNetTable(rows, peer.toIPv4Address(), peerPort, std::nullopt,
                                      std::nullopt);
    }
    const Owner owner = !uid                           ? Owner::Unknown
                        : *uid == unsigned(::getuid()) ? Owner::Us
                                                       : Owner::Other;
    if (!tcp && owner != Owner::Unknown) {
        if (m_ownerCache.size() > maxUdpPeers) {
            m_ownerCache.clear();
        }
        m_ownerCache.insert(cacheKey, owner);
    }
    return owner;
#else
    Q_UNUSED(peer);
    Q_UNUSED(peerPort);
    Q_UNUSED(local);
    Q_UNUSED(localPort);
    Q_UNUSED(tcp);
    return Owner::Us;
#endif
}

QString RemoteServer::failureKey(const QHostAddress &peer, quint16 peerPort)
{
    // Every local program shares the loopback address: one wrong token must not lock out
    // the others.
    return peer.isLoopback() ? endpoint(peer, peerPort) : peer.toString();
}

Right RemoteServer::rightOf(const QHostAddress &peer, quint16 peerPort, const QHostAddress &local,
                            quint16 localPort, bool tcp, const std::optional<QString> &token,
                            Right held, QString *refusal)
{
    const QString address = failureKey(peer, peerPort);
    if (m_failures.value(address).blockedUntilMs > nowMs()) {
        refusal->clear(); // slowed down: not even an answer
        return Right::None;
    }
    if (peer.isLoopback() && held == Right::None) {
        // A sender whose socket is already gone (a one-shot tool) cannot be told from another
        // user's: it needs a token, as a remote machine does.
        switch (ownerOf(peer, peerPort, local, localPort, tcp)) {
        case Owner::Us:
            return Right::Control;
        case Owner::Other:
            *refusal = QStringLiteral("not taken from another user of this machine");
            return Right::None;
        case Owner::Unknown:
            break;
        }
    }
    if (token) {
        if (sameToken(*token, m_settings.controlToken)) {
            m_failures.remove(address);
            return Right::Control;
        }
        if (sameToken(*token, m_settings.viewToken)) {
            m_failures.remove(address);
            return Right::View;
        }
        if (m_failures.size() >= maxFailureRecords) {
            m_failures.removeIf(
                [this](auto entry) { return entry.value().blockedUntilMs <= nowMs(); });
            if (m_failures.size() >= maxFailureRecords) {
                m_failures.clear(); // many senders at once: a flood, not a person guessing
            }
        }
        Failures &failures = m_failures[address];
        ++failures.count;
        failures.blockedUntilMs = nowMs() + slowdownMs(failures.count);
        m_log->write(
            QStringLiteral("wrong token from %1 (%2 in a row)").arg(address).arg(failures.count));
        *refusal = QStringLiteral("wrong token");
        return Right::None;
    }
    if (held == Right::None) {
        *refusal = QStringLiteral("token required");
    }
    return held;
}

QString RemoteServer::handle(const Parsed &parsed, const QString &clientKey, Right *right,
                             const QHostAddress &peer, quint16 peerPort, const QHostAddress &local,
                             quint16 localPort, bool tcp, bool *wantsState)
{
    *wantsState = false;
    if (m_failures.value(failureKey(peer, peerPort)).blockedUntilMs > nowMs()) {
        return {};
    }
    if (!parsed.command) {
        return parsed.refusal;
    }
    const Command &command = *parsed.command;
    QString refusal;
    *right = rightOf(peer, peerPort, local, localPort, tcp, command.token, *right, &refusal);
    const bool reads = command.action == Action::State || command.action == Action::Report;
    const Right needed = reads ? Right::View : Right::Control;
    if (*right == Right::None) {
        return refusal.isEmpty() ? QString() : refusal;
    }
    *wantsState = true;
    if (int(*right) < int(needed)) {
        return QStringLiteral("this token may only read the state");
    }
    if (reads) {
        return {};
    }
    if (command.sequence && m_sequences.isRepeat(clientKey, *command.sequence, nowMs())) {
        return {};
    }
    emit commandReceived(queueText(command));
    return {};
}

// ---------------------------------------------------------------- UDP

void RemoteServer::readDatagrams(QUdpSocket *socket, Kind kind)
{
    while (socket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = socket->receiveDatagram(maxOscPacket + 1);
        if (!datagram.isValid()) {
            continue;
        }
        const QHostAddress peer = datagram.senderAddress();
        const quint16 peerPort = quint16(datagram.senderPort());
        const quint16 replyPort = kind == Kind::Osc && m_settings.oscFeedbackPort != 0
                                      ? m_settings.oscFeedbackPort
                                      : peerPort;
        const QString key =
            kindName(int(kind)) + QStringLiteral(" UDP ") + endpoint(peer, replyPort);
        UdpPeer known = m_udpPeers.value(key);
        QList<Parsed> messages;
        if (kind == Kind::Osc) {
            QString error;
            const QList<OscMessage> decoded = decodeOscPacket(datagram.data(), &error);
            // Junk is dropped without an answer: the sender may not be who it claims.
            for (const OscMessage &message : decoded) {
                messages.append(parseOscCommand(m_program, message));
            }
        } else {
            // One datagram is one command, with or without a line end.
            QByteArray text = datagram.data();
            while (!text.isEmpty() &&
                   (text.endsWith('\n') || text.endsWith('\r') || text.endsWith('\0'))) {
                text.chop(1);
            }
            if (text.isEmpty() || text.size() > LineSplitter::maxLine || text.contains('\0')) {
                continue;
            }
            messages.append(parseTextCommand(m_program, QString::fromUtf8(text)));
        }
        for (const Parsed &parsed : messages) {
            bool wantsState = false;
            const QString refusal =
                handle(parsed, key, &known.right, peer, peerPort, datagram.destinationAddress(),
                       quint16(datagram.destinationPort()), false, &wantsState);
            if (!refusal.isEmpty() && udpAnswerAllowed(key)) {
                socket->writeDatagram(
                    kind == Kind::Osc
                        ? encodeOscMessage(oscPrefix(m_program) + QStringLiteral("/error"),
                                           {refusal})
                        : QByteArray("ERROR " + refusal.toUtf8() + "\n"),
                    peer, replyPort);
            }
            if (known.right == Right::None) {
                continue; // nobody is kept as a subscriber before being let in
            }
            const bool isNew = !m_udpPeers.contains(key);
            if (isNew && m_udpPeers.size() >= maxUdpPeers) {
                continue;
            }
            known.socket = socket;
            known.address = peer;
            known.port = replyPort;
            known.kind = kind;
            known.lastSeenMs = nowMs();
            m_udpPeers.insert(key, known);
            if (isNew) {
                m_log->write(QStringLiteral("subscribed: %1").arg(key));
                publishStatus();
            }
            if (wantsState) {
                sendState(known);
            }
        }
    }
}

bool RemoteServer::udpAnswerAllowed(const QString &key)
{
    // Refusals are answered a few times a second at most, so junk never doubles as traffic.
    if (m_lastUdpAnswer.size() > maxFailureRecords) {
        m_lastUdpAnswer.clear();
    }
    const auto last = m_lastUdpAnswer.constFind(key);
    if (last != m_lastUdpAnswer.cend() && nowMs() - last.value() < errorAnswerGapMs) {
        return false;
    }
    m_lastUdpAnswer.insert(key, nowMs());
    return true;
}

void RemoteServer::sendState(const UdpPeer &peer)
{
    if (peer.right == Right::None || !peer.socket) {
        return;
    }
    if (peer.kind == Kind::Osc) {
        // One message per datagram: what OSC feedback listeners expect.
        for (const QByteArray &message : stateOsc(m_program, m_state, m_revision)) {
            peer.socket->writeDatagram(message, peer.address, peer.port);
        }
    } else {
        peer.socket->writeDatagram(stateText(m_state, m_revision) + '\n', peer.address, peer.port);
    }
}

// ---------------------------------------------------------------- TCP and WebSocket

void RemoteServer::acceptTcp(QTcpServer *server, Kind kind)
{
    while (QTcpSocket *socket = server->nextPendingConnection()) {
        const qsizetype sameKind = std::count_if(m_clients.begin(), m_clients.end(),
                                                 [kind](const auto &c) { return c->kind == kind; });
        if (sameKind >= maxClientsPerKind) {
            socket->write(kind == Kind::Text ? QByteArray("ERROR too many clients\n")
                                             : QByteArray());
            socket->disconnectFromHost();
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            continue;
        }
        auto client = std::make_unique<Client>();
        client->kind = kind;
        client->tcp = socket;
        client->peer = socket->peerAddress();
        client->peerPort = socket->peerPort();
        client->local = socket->localAddress();
        client->localPort = socket->localPort();
        client->key = kindName(int(kind)) + QStringLiteral(" TCP ") +
                      endpoint(client->peer, client->peerPort);
        socket->setReadBufferSize(maxOscPacket);
        Client *raw = client.get();
        m_clients.push_back(std::move(client));
        connect(socket, &QTcpSocket::readyRead, this, [this, raw] { readTcp(raw); });
        connect(socket, &QTcpSocket::disconnected, this,
                [this, raw] { dropClient(raw, QStringLiteral("left")); });
        if (raw->peer.isLoopback() && !admitLocal(raw)) {
            continue;
        }
        m_log->write(QStringLiteral("connected: %1").arg(raw->key));
        // Text clients see where the show is at once; OSC clients once their framing is known.
        if (kind == Kind::Text) {
            sendState(raw);
        }
        publishStatus();
    }
}

void RemoteServer::acceptWebSocket(QWebSocketServer *server)
{
    while (QWebSocket *socket = server->nextPendingConnection()) {
        adoptWebSocket(socket, m_http && http::isOwnPageOrigin(
                                             socket->origin(), socket->localAddress(),
                                             m_settings.httpPort, QHostInfo::localHostName()));
    }
}

void RemoteServer::adoptWebSocket(QWebSocket *socket, bool ownPage)
{
    const qsizetype sameKind = std::count_if(m_clients.begin(), m_clients.end(), [](const auto &c) {
        return c->kind == Kind::WebSocket;
    });
    if (sameKind >= maxClientsPerKind) {
        socket->close(QWebSocketProtocol::CloseCodeTooMuchData, QStringLiteral("too many clients"));
        socket->deleteLater();
        return;
    }
    socket->setMaxAllowedIncomingMessageSize(quint64(maxOscPacket));
    socket->setMaxAllowedIncomingFrameSize(quint64(maxOscPacket));
    auto client = std::make_unique<Client>();
    client->kind = Kind::WebSocket;
    client->webSocket = socket;
    client->peer = socket->peerAddress();
    client->peerPort = socket->peerPort();
    client->local = socket->localAddress();
    client->localPort = socket->localPort();
    client->key = QStringLiteral("WebSocket ") + endpoint(client->peer, client->peerPort);
    Client *raw = client.get();
    m_clients.push_back(std::move(client));
    connect(socket, &QWebSocket::textMessageReceived, this, [this, raw](const QString &text) {
        bool wantsState = false;
        const QString trimmed = text.trimmed();
        const Parsed parsed = trimmed.startsWith(QLatin1Char('{'))
                                  ? parseJsonCommand(m_program, text.toUtf8())
                                  : parseTextCommand(m_program, trimmed);
        const QString refusal = handle(parsed, raw->key, &raw->right, raw->peer, raw->peerPort,
                                       raw->local, raw->localPort, true, &wantsState);
        if (!refusal.isEmpty()) {
            sendError(raw, refusal);
        }
        if (alive(raw) && wantsState && parsed.command &&
            parsed.command->action == Action::Report) {
            // A backup only ever reads: whatever its connection was let in with, it may not step
            // this show.
            raw->right = std::min(raw->right, Right::View);
            const bool hello = raw->follower.isEmpty();
            if (raw->follower != parsed.command->text) {
                raw->follower =
                    parsed.command->text.isEmpty() ? QStringLiteral("?") : parsed.command->text;
                followersChanged();
            }
            // Told apart from the state every reader is sent at connect: only the states after
            // this answer come to a backup that was let in.
            if (hello && alive(raw) && raw->webSocket) {
                raw->webSocket->sendTextMessage(QStringLiteral("{\"type\":\"follower\"}"));
                sendState(raw);
            }
        }
        if (alive(raw) && wantsState && parsed.command && parsed.command->action == Action::State) {
            sendState(raw);
        }
    });
    connect(socket, &QWebSocket::binaryMessageReceived, this, [this, raw](const QByteArray &) {
        sendError(raw, QStringLiteral("binary messages are not taken"));
    });
    connect(socket, &QWebSocket::disconnected, this,
            [this, raw] { dropClient(raw, QStringLiteral("left")); });
    // A web page in a browser of this machine must not drive the show without a token,
    // unless it is the remote's own page.
    const bool fromBrowser = !socket->origin().isEmpty() && !ownPage;
    if (raw->peer.isLoopback() && !fromBrowser && !admitLocal(raw)) {
        return;
    }
    m_log->write(QStringLiteral("connected: %1%2")
                     .arg(raw->key, fromBrowser ? QStringLiteral(" from a web page") : QString()));
    sendState(raw);
    publishStatus();
}

bool RemoteServer::admitLocal(Client *client)
{
    switch (ownerOf(client->peer, client->peerPort, client->local, client->localPort, true)) {
    case Owner::Us:
        client->right = Right::Control;
        return true;
    case Owner::Other: {
        const QString why = QStringLiteral("not taken from another user of this machine");
        m_log->write(QStringLiteral("refused: %1: %2").arg(client->key, why));
        sendError(client, why);
        dropClient(client, QStringLiteral("refused"));
        return false;
    }
    case Owner::Unknown:
        break;
    }
    return true; // gone already, or it shows a token
}

void RemoteServer::readTcp(Client *client)
{
    if (!client->tcp) {
        return;
    }
    const QByteArray bytes = client->tcp->readAll();
    QList<Parsed> messages;
    if (client->kind == Kind::Osc) {
        const bool hadFraming = client->osc.framing() != OscStreamReader::Framing::Unknown;
        QList<QByteArray> packets;
        if (!client->osc.feed(bytes, &packets)) {
            dropClient(client, QStringLiteral("cut off: no OSC framing or a packet over 64 KiB"));
            return;
        }
        for (const QByteArray &packet : packets) {
            QString error;
            const QList<OscMessage> decoded = decodeOscPacket(packet, &error);
            if (!error.isEmpty()) {
                messages.append(Parsed{std::nullopt, error});
            }
            for (const OscMessage &message : decoded) {
                messages.append(parseOscCommand(m_program, message));
            }
        }
        if (!hadFraming && client->osc.framing() != OscStreamReader::Framing::Unknown &&
            client->right != Right::None) {
            sendState(client);
        }
    } else {
        const int overlongBefore = client->lines.overlong();
        for (const QByteArray &line : client->lines.feed(bytes)) {
            messages.append(parseTextCommand(m_program, QString::fromUtf8(line)));
        }
        if (client->lines.overlong() != overlongBefore) {
            messages.append(
                Parsed{std::nullopt, QStringLiteral("line longer than 1024 bytes dropped")});
        }
    }
    for (const Parsed &parsed : messages) {
        bool wantsState = false;
        const QString refusal =
            handle(parsed, client->key, &client->right, client->peer, client->peerPort,
                   client->local, client->localPort, true, &wantsState);
        if (!refusal.isEmpty()) {
            sendError(client, refusal);
        }
        if (!alive(client)) {
            return; // cut off while answering
        }
        if (wantsState && parsed.command && parsed.command->action == Action::State) {
            sendState(client);
        }
    }
}

bool RemoteServer::alive(const Client *client) const
{
    return std::any_of(m_clients.begin(), m_clients.end(),
                       [client](const auto &c) { return c.get() == client; });
}

void RemoteServer::dropClient(Client *client, const QString &why)
{
    const auto found = std::find_if(m_clients.begin(), m_clients.end(),
                                    [client](const auto &c) { return c.get() == client; });
    if (found == m_clients.end()) {
        return;
    }
    std::unique_ptr<Client> owned = std::move(*found);
    m_clients.erase(found);
    m_log->write(QStringLiteral("%1: %2").arg(why, owned->key));
    if (!owned->follower.isEmpty()) {
        followersChanged();
    }
    if (owned->tcp) {
        owned->tcp->disconnect(this);
        owned->tcp->abort();
        owned->tcp->deleteLater();
    }
    if (owned->webSocket) {
        owned->webSocket->disconnect(this);
        owned->webSocket->abort();
        owned->webSocket->deleteLater();
    }
    publishStatus();
}

void RemoteServer::write(Client *client, const QByteArray &bytes)
{
    if (client->tcp) {
        if (client->tcp->bytesToWrite() > maxBacklog) {
            dropClient(client, QStringLiteral("cut off: reads nothing"));
            return;
        }
        client->tcp->write(bytes);
    }
}

void RemoteServer::sendError(Client *client, const QString &why)
{
    if (nowMs() - client->lastErrorMs < errorAnswerGapMs) {
        return;
    }
    client->lastErrorMs = nowMs();
    switch (client->kind) {
    case Kind::Osc:
        write(client, client->osc.frame(encodeOscMessage(
                          oscPrefix(m_program) + QStringLiteral("/error"), {why})));
        break;
    case Kind::Text:
        write(client, "ERROR " + why.toUtf8() + "\n");
        break;
    case Kind::WebSocket:
        if (client->webSocket) {
            client->webSocket->sendTextMessage(QString::fromUtf8(
                QJsonDocument(QJsonObject{{QStringLiteral("type"), QStringLiteral("error")},
                                          {QStringLiteral("message"), why}})
                    .toJson(QJsonDocument::Compact)));
        }
        break;
    }
}

void RemoteServer::sendState(Client *client)
{
    if (client->right == Right::None) {
        return;
    }
    switch (client->kind) {
    case Kind::Osc: {
        QByteArray bytes;
        for (const QByteArray &message : stateOsc(m_program, m_state, m_revision)) {
            bytes += client->osc.frame(message);
        }
        write(client, bytes);
        break;
    }
    case Kind::Text:
        write(client, stateText(m_state, m_revision) + '\n');
        break;
    case Kind::WebSocket:
        if (client->webSocket) {
            if (client->webSocket->bytesToWrite() > maxBacklog) {
                dropClient(client, QStringLiteral("cut off: reads nothing"));
                return;
            }
            client->webSocket->sendTextMessage(QString::fromUtf8(
                QJsonDocument(stateJson(m_state, m_revision)).toJson(QJsonDocument::Compact)));
        }
        break;
    }
}

// ---------------------------------------------------------------- state

void RemoteServer::setState(const State &state)
{
    m_windowState = state;
    applyState();
}

void RemoteServer::followersChanged()
{
    publishStatus();
    applyState();
}

void RemoteServer::applyState()
{
    State state = m_windowState;
    QStringList followers;
    for (const auto &client : m_clients) {
        if (!client->follower.isEmpty()) {
            followers.append(endpoint(client->peer, client->peerPort) + QLatin1Char(' ') +
                             client->follower);
        }
    }
    followers.sort();
    state.append({QStringLiteral("followers"), int(followers.size())});
    state.append({QStringLiteral("followerList"), followers.join(QStringLiteral(", "))});
    const auto same = [](const State &a, const State &b) {
        if (a.size() != b.size()) {
            return false;
        }
        for (qsizetype i = 0; i < a.size(); ++i) {
            if (a[i].key != b[i].key || a[i].value != b[i].value) {
                return false;
            }
        }
        return true;
    };
    if (same(state, m_state)) {
        return;
    }
    m_state = state;
    ++m_revision;
    const qint64 wait = m_lastPushMs + coalesceMs - nowMs();
    if (wait <= 0) {
        pushAll();
    } else if (m_coalesce && !m_coalesce->isActive()) {
        m_coalesce->start(int(wait));
    }
}

void RemoteServer::pushAll()
{
    m_lastPushMs = nowMs();
    // A client cut off while being written to leaves the list: walk a copy.
    std::vector<Client *> clients;
    for (const auto &client : m_clients) {
        clients.push_back(client.get());
    }
    for (Client *client : clients) {
        const bool oscWithoutFraming =
            client->kind == Kind::Osc && client->osc.framing() == OscStreamReader::Framing::Unknown;
        if (alive(client) && !oscWithoutFraming) {
            sendState(client);
        }
    }
    for (const UdpPeer &peer : std::as_const(m_udpPeers)) {
        sendState(peer);
    }
}

void RemoteServer::heartbeat()
{
    const qint64 now = nowMs();
    const qsizetype before = m_udpPeers.size();
    m_udpPeers.removeIf(
        [now](auto entry) { return now - entry.value().lastSeenMs > udpSubscriptionMs; });
    if (m_udpPeers.size() != before) {
        publishStatus();
    }
    // The same revision again: a client that hears nothing for a while knows the link is gone.
    const qint64 lastPush = m_lastPushMs;
    pushAll();
    m_lastPushMs = lastPush;
}

void RemoteServer::publishStatus()
{
    QStringList clients;
    for (const auto &client : m_clients) {
        clients.append(client->follower.isEmpty()
                           ? client->key
                           : client->key + QStringLiteral(" (follower, %1)").arg(client->follower));
    }
    for (auto it = m_udpPeers.cbegin(); it != m_udpPeers.cend(); ++it) {
        clients.append(it.key());
    }
    clients.sort();
    m_lastClients = clients;
    emit statusChanged(m_listening, clients);
}

} // namespace remote
