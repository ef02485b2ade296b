// The HTTP remote: the web remote's page from the program's own resources, the API over the
// network remote's commands and state, and the pictures of what the screens show and show
// next. Every request goes through the same token and loopback rules as the other transports.

#include "remote_control/http_remote.h"

#include "remote_control/http_rules.h"
#include "remote_control/remote_log.h"
#include "remote_control/remote_server.h"

#include <QAbstractHttpServer>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QHostInfo>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <optional>

namespace remote {

namespace {

using Status = QHttpServerResponder::StatusCode;

constexpr int maxConnections = 64;
// Headers and body of one request; a command is a few dozen bytes.
constexpr qint64 maxRequestBytes = 16 * 1024;
// A request that has not come whole by then is cut off (a sender trickling bytes).
constexpr qint64 requestArrivalMs = 10000;
constexpr qint64 idleConnectionMs = 120000;
// Requests a second per sender, and at once: a page takes about ten per step.
constexpr double requestsPerSecond = 40;
constexpr double requestBurst = 120;
constexpr qint64 picturesWantedGapMs = 1000;

// Accepts the HTTP server's connections and watches each: a request larger than allowed, or
// one that trickles in, is cut off before the server holds it all.
class WatchedServer : public QTcpServer
{
public:
    explicit WatchedServer(QObject *parent) : QTcpServer(parent)
    {
        m_clock.start();
        m_sweep.setInterval(1000);
        connect(&m_sweep, &QTimer::timeout, this, &WatchedServer::sweep);
        m_sweep.start();
    }

    QTcpSocket *nextPendingConnection() override
    {
        while (QTcpSocket *socket = QTcpServer::nextPendingConnection()) {
            if (m_watched.size() >= maxConnections) {
                socket->abort();
                socket->deleteLater();
                continue;
            }
            m_watched.insert(socket, Watch{0, -1, m_clock.elapsed()});
            // Connected before the HTTP server's own handler, so it sees the bytes first.
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { arrived(socket); });
            connect(socket, &QObject::destroyed, this,
                    [this, socket] { m_watched.remove(socket); });
            return socket;
        }
        return nullptr;
    }

    // A whole request came: the next one is counted afresh.
    void requestHandled(QTcpSocket *socket)
    {
        if (auto it = m_watched.find(socket); it != m_watched.end()) {
            *it = Watch{0, -1, m_clock.elapsed()};
        }
    }

private:
    struct Watch
    {
        qint64 bytes = 0;
        qint64 startedMs = -1; // when the request being received began
        qint64 lastMs = 0;
    };

    void arrived(QTcpSocket *socket)
    {
        auto it = m_watched.find(socket);
        if (it == m_watched.end()) {
            return;
        }
        it->bytes += socket->bytesAvailable();
        it->lastMs = m_clock.elapsed();
        if (it->startedMs < 0) {
            it->startedMs = it->lastMs;
        }
        if (it->bytes > maxRequestBytes) {
            // The HTTP server hears nothing more of it; what came is answered and let go.
            QObject::disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
            m_watched.erase(it);
            socket->write("HTTP/1.1 413 Payload Too Large\r\nContent-Length: 0\r\n"
                          "Connection: close\r\n\r\n");
            socket->disconnectFromHost();
        }
    }

    void sweep()
    {
        const qint64 now = m_clock.elapsed();
        const QList<QTcpSocket *> sockets = m_watched.keys();
        for (QTcpSocket *socket : sockets) {
            const Watch &watch = m_watched[socket];
            if ((watch.startedMs >= 0 && now - watch.startedMs > requestArrivalMs) ||
                now - watch.lastMs > idleConnectionMs) {
                socket->abort();
            }
        }
    }

    QElapsedTimer m_clock;
    QTimer m_sweep;
    QHash<QTcpSocket *, Watch> m_watched;
};

QByteArray json(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray errorJson(const QString &message)
{
    return json(
        {{QStringLiteral("type"), QStringLiteral("error")}, {QStringLiteral("message"), message}});
}

QByteArray contentType(const QString &resource)
{
    if (resource.endsWith(QLatin1String(".html"))) {
        return "text/html; charset=utf-8";
    }
    if (resource.endsWith(QLatin1String(".js"))) {
        return "text/javascript; charset=utf-8";
    }
    if (resource.endsWith(QLatin1String(".css"))) {
        return "text/css; charset=utf-8";
    }
    return "image/svg+xml";
}

class Server;

class Http final : public HttpRemote
{
public:
    explicit Http(RemoteServer &remote);
    QString listen(const QHostAddress &address, quint16 port) override;
    void setPageData(const QString &name, const QByteArray &tag, const QByteArray &bytes) override;

    void handle(const QHttpServerRequest &request, QTcpSocket *socket,
                QHttpServerResponder &responder);

private:
    struct PageData
    {
        QByteArray tag;
        QByteArray bytes;
    };
    struct Answer
    {
        Status status = Status::Ok;
        QByteArray type = "application/json";
        QByteArray body;
        http::Headers headers;
    };

    Answer answer(const QHttpServerRequest &request, QTcpSocket *socket, QByteArray *host);
    // Whether the sender may read (or, with control, step the show); else the answer to give.
    std::optional<Answer> refused(QTcpSocket *socket, const Parsed &parsed);
    Answer resource(const QString &path) const;
    Answer pageData(const QHttpServerRequest &request, const QString &name, const QByteArray &type);
    void notePicturesWanted();

    RemoteServer &m_remote;
    std::unique_ptr<Server> m_server;
    QList<WatchedServer *> m_listeners;
    http::RateLimit m_rates{requestsPerSecond, requestBurst};
    QElapsedTimer m_clock;
    qint64 m_lastWantedMs = -picturesWantedGapMs;
    QHash<QString, PageData> m_pageData;
    QString m_machine = QHostInfo::localHostName();
};

class Server final : public QAbstractHttpServer
{
public:
    explicit Server(Http &http) : m_http(http) {}

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override
    {
        QHttpServerResponder responder = makeResponder(request, socket);
        m_http.handle(request, socket, responder);
        return true;
    }
    void missingHandler(const QHttpServerRequest &, QTcpSocket *socket) override
    {
        socket->abort();
    }

private:
    Http &m_http;
};

Http::Http(RemoteServer &remote) : m_remote(remote), m_server(std::make_unique<Server>(*this))
{
    m_clock.start();
}

QString Http::listen(const QHostAddress &address, quint16 port)
{
    auto *listener = new WatchedServer(m_server.get());
    if (!listener->listen(address, port)) {
        const QString why = listener->errorString();
        delete listener;
        return why;
    }
    listener->setMaxPendingConnections(maxConnections);
    m_server->bind(listener);
    m_listeners.append(listener);
    return {};
}

void Http::setPageData(const QString &name, const QByteArray &tag, const QByteArray &bytes)
{
    if (bytes.isEmpty()) {
        m_pageData.remove(name);
    } else {
        m_pageData.insert(name, PageData{tag, bytes});
    }
}

void Http::handle(const QHttpServerRequest &request, QTcpSocket *socket,
                  QHttpServerResponder &responder)
{
    for (WatchedServer *listener : std::as_const(m_listeners)) {
        listener->requestHandled(socket);
    }
    QByteArray host;
    const Answer reply = answer(request, socket, &host);
    responder.writeStatusLine(reply.status);
    const auto webSocketPort = quint16(m_remote.webSocketPort());
    for (const auto &[key, value] : http::safetyHeaders(http::hostName(host), webSocketPort)) {
        responder.writeHeader(key, value);
    }
    responder.writeHeader("Content-Type", reply.type);
    responder.writeHeader("Content-Length", QByteArray::number(reply.body.size()));
    bool cacheControl = false;
    for (const auto &[key, value] : reply.headers) {
        cacheControl = cacheControl || key == "Cache-Control";
        responder.writeHeader(key, value);
    }
    if (!cacheControl) {
        responder.writeHeader("Cache-Control", "no-store");
    }
    responder.writeBody(reply.body);
}

Http::Answer Http::answer(const QHttpServerRequest &request, QTcpSocket *socket, QByteArray *host)
{
    const QHostAddress peer = socket->peerAddress();
    if (!m_rates.allow(peer.toString(), m_clock.elapsed())) {
        return {Status::TooManyRequests,
                "application/json",
                errorJson(QStringLiteral("too many requests")),
                {{"Retry-After", "1"}}};
    }
    // A name that is not this machine's is a foreign name pointing here: a page of another
    // site would be reading this one as its own.
    const QByteArray givenHost = request.value("host");
    if (!http::hostNamesUs(givenHost, socket->localAddress(), socket->localPort(), m_machine)) {
        return {Status::MisdirectedRequest,
                "application/json",
                errorJson(QStringLiteral("not a name of this machine")),
                {}};
    }
    *host = givenHost;
    const QByteArray origin = request.value("origin");
    const QByteArray site = request.value("sec-fetch-site");
    if ((!origin.isEmpty() && !http::isOwnOrigin(origin, givenHost)) ||
        (!site.isEmpty() && site != "same-origin" && site != "none")) {
        m_remote.log().write(
            QStringLiteral("refused: HTTP %1 from the page of another site").arg(peer.toString()));
        return {Status::Forbidden,
                "application/json",
                errorJson(QStringLiteral("not taken from another site's page")),
                {}};
    }
    const http::Target target = http::routeOf(m_remote.program(), request.url().path());
    const bool get = request.method() == QHttpServerRequest::Method::Get;
    const bool post = request.method() == QHttpServerRequest::Method::Post;
    if (target.route == http::Route::None) {
        return {Status::NotFound, "application/json", errorJson(QStringLiteral("not found")), {}};
    }
    if (target.route == http::Route::Command ? !post : !get) {
        return {Status::MethodNotAllowed,
                "application/json",
                errorJson(QStringLiteral("method not allowed")),
                {{"Allow", target.route == http::Route::Command ? "POST" : "GET"}}};
    }
    const std::optional<QString> bearer = http::bearerToken(request.value("authorization"));
    Parsed readState{Command{Action::State, 0, std::nullopt, bearer, {}}, {}};
    switch (target.route) {
    case http::Route::Page:
    case http::Route::Resource:
        // The page holds nothing of the show: what it shows comes through the API.
        return resource(target.resource);
    case http::Route::State:
        if (auto refusal = refused(socket, readState)) {
            return *refusal;
        }
        return {Status::Ok, "application/json", json(m_remote.stateObject()), {}};
    case http::Route::Versions: {
        if (auto refusal = refused(socket, readState)) {
            return *refusal;
        }
        notePicturesWanted();
        QJsonObject tags;
        for (auto it = m_pageData.cbegin(); it != m_pageData.cend(); ++it) {
            tags.insert(it.key(), QString::fromLatin1(it->tag));
        }
        return {Status::Ok, "application/json", json(tags), {}};
    }
    case http::Route::Picture:
    case http::Route::Script:
        if (auto refusal = refused(socket, readState)) {
            return *refusal;
        }
        return pageData(request, target.name,
                        target.route == http::Route::Script ? "application/json" : "image/jpeg");
    case http::Route::Command: {
        Parsed parsed = parseJsonCommand(m_remote.program(), request.body());
        if (parsed.command && !parsed.command->token) {
            parsed.command->token = bearer;
        }
        if (!parsed.command) {
            return {Status::BadRequest, "application/json", errorJson(parsed.refusal), {}};
        }
        if (auto refusal = refused(socket, parsed)) {
            return *refusal;
        }
        if (parsed.command->action == Action::State) {
            return {Status::Ok, "application/json", json(m_remote.stateObject()), {}};
        }
        return {Status::Ok,
                "application/json",
                json({{QStringLiteral("type"), QStringLiteral("accepted")},
                      {QStringLiteral("command"), queueText(*parsed.command)}}),
                {}};
    }
    case http::Route::None:
        break;
    }
    return {Status::NotFound, "application/json", errorJson(QStringLiteral("not found")), {}};
}

std::optional<Http::Answer> Http::refused(QTcpSocket *socket, const Parsed &parsed)
{
    Right right = Right::None;
    bool wantsState = false;
    const QString refusal =
        m_remote.handle(parsed, QStringLiteral("HTTP ") + socket->peerAddress().toString(), &right,
                        socket->peerAddress(), socket->peerPort(), socket->localAddress(),
                        socket->localPort(), true, &wantsState);
    if (refusal.isEmpty() && right != Right::None) {
        return std::nullopt;
    }
    if (refusal.isEmpty()) {
        // Slowed down after wrong tokens: told so, and nothing is tried.
        return Answer{Status::TooManyRequests,
                      "application/json",
                      errorJson(QStringLiteral("slowed down after a wrong token")),
                      {{"Retry-After", "1"}}};
    }
    const bool noToken =
        refusal == QLatin1String("token required") || refusal == QLatin1String("wrong token");
    return Answer{noToken ? Status::Unauthorized : Status::Forbidden, "application/json",
                  errorJson(refusal),
                  noToken ? http::Headers{{"WWW-Authenticate", "Bearer"}} : http::Headers{}};
}

Http::Answer Http::resource(const QString &path) const
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {Status::NotFound, "application/json", errorJson(QStringLiteral("not found")), {}};
    }
    QByteArray body = file.readAll();
    if (path.endsWith(QLatin1String(".html"))) {
        // Where the page's live link goes: the WebSocket of the same program.
        body.replace("@WEBSOCKET_PORT@", QByteArray::number(m_remote.webSocketPort()));
    }
    return {Status::Ok, contentType(path), body, {{"Cache-Control", "no-cache"}}};
}

Http::Answer Http::pageData(const QHttpServerRequest &request, const QString &name,
                            const QByteArray &type)
{
    notePicturesWanted();
    const auto found = m_pageData.constFind(name);
    if (found == m_pageData.cend()) {
        return {Status::ServiceUnavailable,
                "application/json",
                errorJson(QStringLiteral("not there yet")),
                {{"Retry-After", "1"}}};
    }
    const QByteArray etag = '"' + found->tag + '"';
    if (request.value("if-none-match") == etag) {
        return {Status::NotModified, type, {}, {{"ETag", etag}, {"Cache-Control", "no-cache"}}};
    }
    return {Status::Ok, type, found->bytes, {{"ETag", etag}, {"Cache-Control", "no-cache"}}};
}

void Http::notePicturesWanted()
{
    if (m_clock.elapsed() - m_lastWantedMs >= picturesWantedGapMs) {
        m_lastWantedMs = m_clock.elapsed();
        emit m_remote.picturesWanted();
    }
}

} // namespace

std::unique_ptr<HttpRemote> makeHttpRemote(RemoteServer &server)
{
    return std::make_unique<Http>(server);
}

} // namespace remote
