#pragma once

// The network remote's sockets: OSC over UDP and TCP, text lines over TCP and UDP, and
// WebSocket. Lives on a thread of its own, so a flood of datagrams never holds up the
// window; what it lets through reaches the window as queue texts.

#include "remote_control/commands.h"
#include "remote_control/remote_settings.h"

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <memory>
#include <vector>

class QTcpServer;
class QTcpSocket;
class QTimer;
class QUdpSocket;
class QWebSocket;
class QWebSocketServer;

namespace remote {

class HttpRemote;
class RemoteLog;

enum class Right
{
    None,
    View,
    Control,
};

class RemoteServer : public QObject
{
    Q_OBJECT

public:
    RemoteServer(Program program, RemoteSettings settings, QString logPath,
                 QObject *parent = nullptr);
    ~RemoteServer() override;

    // Binds the sockets; call on the server's thread.
    void start();
    void setState(const State &state);

    // How long an address that gave a wrong token is not heard, after its n-th failure.
    static qint64 slowdownMs(int failures);

    // For the HTTP remote on this thread: the same rules, the same state, the same log.
    Program program() const { return m_program; }
    quint16 webSocketPort() const { return m_settings.webSocketPort; }
    RemoteLog &log() { return *m_log; }
    QJsonObject stateObject() const;
    // Runs an accepted message; returns the refusal to answer with, if any (empty and
    // *right None: slowed down after wrong tokens, no answer at all).
    QString handle(const Parsed &parsed, const QString &clientKey, Right *right,
                   const QHostAddress &peer, quint16 peerPort, const QHostAddress &local,
                   quint16 localPort, bool tcp, bool *wantsState);
    void setPageData(const QString &name, const QByteArray &tag, const QByteArray &bytes);

signals:
    void commandReceived(const QString &queueText);
    void statusChanged(const QStringList &listening, const QStringList &clients);
    // A web page shows pictures: the controller keeps them up to date for a while.
    void picturesWanted();

private:
    enum class Kind
    {
        Osc,
        Text,
        WebSocket,
    };
    struct Client;
    struct UdpPeer
    {
        Right right = Right::None;
        qint64 lastSeenMs = 0;
        QUdpSocket *socket = nullptr;
        QHostAddress address;
        quint16 port = 0;
        Kind kind = Kind::Osc;
    };
    struct Failures
    {
        int count = 0;
        qint64 blockedUntilMs = 0;
    };

    void listenUdp(Kind kind, const QHostAddress &address, quint16 port);
    void listenTcp(Kind kind, const QHostAddress &address, quint16 port);
    void listenWebSocket(const QHostAddress &address, quint16 port);
    void listenHttp(const QHostAddress &address, quint16 port);
    void readDatagrams(QUdpSocket *socket, Kind kind);
    bool udpAnswerAllowed(const QString &key);
    void acceptTcp(QTcpServer *server, Kind kind);
    void acceptWebSocket(QWebSocketServer *server);
    // ownPage: opened by the remote's own web page, which is taken as the browser showing it
    // is (a program of this machine's user needs no token).
    void adoptWebSocket(QWebSocket *socket, bool ownPage);
    void readTcp(Client *client);
    // A loopback connection: of this user it may do anything, of another it is refused.
    bool admitLocal(Client *client);
    static QString failureKey(const QHostAddress &peer, quint16 peerPort);
    void dropClient(Client *client, const QString &why);
    bool alive(const Client *client) const;

    // The right of a peer for a message carrying token; refusal says why none, empty when
    // the message is to be dropped without an answer.
    Right rightOf(const QHostAddress &peer, quint16 peerPort, const QHostAddress &local,
                  quint16 localPort, bool tcp, const std::optional<QString> &token, Right held,
                  QString *refusal);
    enum class Owner
    {
        Us,
        Other,
        Unknown, // the socket closed before it could be looked up
    };
    Owner ownerOf(const QHostAddress &peer, quint16 peerPort, const QHostAddress &local,
                  quint16 localPort, bool tcp);

    void sendState(Client *client);
    void sendState(const UdpPeer &peer);
    void sendError(Client *client, const QString &why);
    void write(Client *client, const QByteArray &bytes);
    void pushAll();
    void heartbeat();
    // The window's state with what only the sockets know (the followers) added.
    void applyState();
    void followersChanged();
    void publishStatus();
    qint64 nowMs() const { return m_clock.elapsed(); }

    Program m_program;
    RemoteSettings m_settings;
    std::unique_ptr<RemoteLog> m_log;
    QElapsedTimer m_clock;
    QTimer *m_heartbeat = nullptr;
    QTimer *m_coalesce = nullptr;
    qint64 m_lastPushMs = -1000000;
    State m_windowState;
    State m_state;
    qint64 m_revision = 0;
    SequenceFilter m_sequences;
    QStringList m_listening;
    QStringList m_lastClients;
    std::vector<std::unique_ptr<Client>> m_clients;
    QHash<QString, UdpPeer> m_udpPeers;
    QHash<QString, Failures> m_failures;
    QHash<QString, Owner> m_ownerCache; // UDP senders, by address and port
    QHash<QString, qint64> m_lastUdpAnswer;
    // Last: it goes first, while everything it asks of this server is still there.
    std::unique_ptr<HttpRemote> m_http;
};

} // namespace remote
