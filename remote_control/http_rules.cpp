#include "remote_control/http_rules.h"

#include <QUrl>

#include <algorithm>
#include <cctype>

namespace remote::http {

namespace {

// "name:port" or "[v6]:port" into the name and the port (0 when none).
std::optional<QPair<QString, int>> splitHost(const QByteArray &host)
{
    const QString text = QString::fromLatin1(host).trimmed();
    if (text.isEmpty() || text.size() > 255) {
        return std::nullopt;
    }
    QString name = text;
    int port = 0;
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    const qsizetype bracket = text.lastIndexOf(QLatin1Char(']'));
    if (colon > 0 && colon > bracket) {
        bool ok = false;
        port = text.mid(colon + 1).toInt(&ok);
        if (!ok || port < 1 || port > 65535) {
            return std::nullopt;
        }
        name = text.left(colon);
    }
    if (name.startsWith(QLatin1Char('[')) && name.endsWith(QLatin1Char(']'))) {
        name = name.mid(1, name.size() - 2);
    }
    return QPair<QString, int>(name.toLower(), port);
}

} // namespace

bool hostNamesUs(const QByteArray &host, const QHostAddress &local, quint16 port,
                 const QString &machineName)
{
    const auto split = splitHost(host);
    if (!split || (split->second != 0 && split->second != port)) {
        return false;
    }
    const QString &name = split->first;
    const QHostAddress literal(name);
    if (!literal.isNull()) {
        return literal.isEqual(local, QHostAddress::ConvertV4MappedToIPv4) ||
               (literal.isLoopback() && local.isLoopback());
    }
    if (name == QLatin1String("localhost")) {
        return local.isLoopback();
    }
    const QString machine = machineName.toLower();
    return !machine.isEmpty() && (name == machine || name == machine + QStringLiteral(".local"));
}

bool isOwnOrigin(const QByteArray &origin, const QByteArray &host)
{
    return !host.isEmpty() && origin.compare("http://" + host.trimmed(), Qt::CaseInsensitive) == 0;
}

bool isOwnPageOrigin(const QString &origin, const QHostAddress &local, quint16 httpPort,
                     const QString &machineName)
{
    if (httpPort == 0 || !origin.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)) {
        return false;
    }
    const QByteArray host = origin.mid(7).toLatin1();
    // The page's port always shows: it is never 80.
    return !host.contains('/') && host.contains(':') &&
           hostNamesUs(host, local, httpPort, machineName);
}

QByteArray hostName(const QByteArray &host)
{
    const auto split = splitHost(host);
    if (!split) {
        return {};
    }
    const QByteArray name = split->first.toLatin1();
    return name.contains(':') ? '[' + name + ']' : name;
}

Target routeOf(Program program, const QString &path)
{
    static const QHash<QString, QString> resources{
        {QStringLiteral("/remote.js"), QStringLiteral(":/web/remote.js")},
        {QStringLiteral("/remote.css"), QStringLiteral(":/web/remote.css")},
        {QStringLiteral("/icon.svg"), QStringLiteral(":/web/icon.svg")},
    };
    if (path == QLatin1String("/") || path == QLatin1String("/index.html")) {
        return {Route::Page,
                program == Program::Corvane ? QStringLiteral(":/web/corvane.html")
                                            : QStringLiteral(":/web/kestro.html"),
                {}};
    }
    if (const auto found = resources.constFind(path); found != resources.cend()) {
        return {Route::Resource, found.value(), {}};
    }
    if (path == QLatin1String("/api/state")) {
        return {Route::State, {}, {}};
    }
    if (path == QLatin1String("/api/command")) {
        return {Route::Command, {}, {}};
    }
    if (path == QLatin1String("/api/versions")) {
        return {Route::Versions, {}, {}};
    }
    if (path == QLatin1String("/api/script") && program == Program::Corvane) {
        return {Route::Script, {}, QStringLiteral("script")};
    }
    for (const QString &which : {QStringLiteral("current"), QStringLiteral("next")}) {
        if (program == Program::Corvane) {
            for (int screen = 1; screen <= 3; ++screen) {
                if (path == QStringLiteral("/api/screen/%1/%2.jpg").arg(screen).arg(which)) {
                    return {
                        Route::Picture, {}, QStringLiteral("screen%1/%2").arg(screen).arg(which)};
                }
            }
        } else if (path == QStringLiteral("/api/slide/%1.jpg").arg(which)) {
            return {Route::Picture, {}, QStringLiteral("slide/%1").arg(which)};
        }
    }
    return {};
}

std::optional<QString> bearerToken(const QByteArray &authorization)
{
    const QByteArray value = authorization.trimmed();
    if (value.size() < 7 || value.left(7).toLower() != "bearer ") {
        return std::nullopt;
    }
    return QString::fromUtf8(value.mid(7).trimmed());
}

bool RateLimit::allow(const QString &sender, qint64 nowMs)
{
    constexpr qsizetype maxSenders = 1024;
    if (!m_buckets.contains(sender) && m_buckets.size() >= maxSenders) {
        // Buckets that have filled again are those of senders who went quiet.
        m_buckets.removeIf([&](auto entry) {
            return entry.value().tokens + (nowMs - entry.value().atMs) * m_perSecond / 1000.0 >=
                   m_burst;
        });
        if (m_buckets.size() >= maxSenders) {
            return false; // a flood from many addresses: none of them is served meanwhile
        }
    }
    auto it = m_buckets.find(sender);
    if (it == m_buckets.end()) {
        it = m_buckets.insert(sender, Bucket{m_burst, nowMs});
    }
    Bucket &bucket = it.value();
    bucket.tokens =
        std::min(m_burst, bucket.tokens + double(nowMs - bucket.atMs) * m_perSecond / 1000.0);
    bucket.atMs = nowMs;
    if (bucket.tokens < 1.0) {
        return false;
    }
    bucket.tokens -= 1.0;
    return true;
}

Headers safetyHeaders(const QByteArray &name, quint16 webSocketPort)
{
    const bool plainName = !name.isEmpty() && std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == ':' || c == '-' ||
               c == '[' || c == ']';
    });
    const QByteArray webSocket = plainName && webSocketPort != 0
                                     ? " ws://" + name + ':' + QByteArray::number(webSocketPort)
                                     : QByteArray();
    // The page's own script and style only; its WebSocket; pictures of its own and those it
    // made from answers (blob:).
    const QByteArray policy = "default-src 'none'; script-src 'self'; style-src 'self'; "
                              "img-src 'self' blob:; connect-src 'self'" +
                              webSocket +
                              "; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";
    return {{"Content-Security-Policy", policy},
            {"X-Content-Type-Options", "nosniff"},
            {"X-Frame-Options", "DENY"},
            {"Referrer-Policy", "no-referrer"},
            {"Cross-Origin-Resource-Policy", "same-origin"}};
}

} // namespace remote::http
