#pragma once

// The HTTP remote's rules, apart from its sockets: which requests come from its own page,
// which paths exist, how many requests a sender may make, the headers every answer carries.

#include "remote_control/commands.h"

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>

namespace remote::http {

// Whether a Host header names this machine as the request reached it: an address literal
// equal to the address it came in on, "localhost" on the loopback, or the machine's own name
// (also with ".local"). Any other name is a foreign name pointing here (DNS rebinding), and
// refused.
bool hostNamesUs(const QByteArray &host, const QHostAddress &local, quint16 port,
                 const QString &machineName);

// Whether an Origin is this remote's own page: http:// and the Host the request came with.
bool isOwnOrigin(const QByteArray &origin, const QByteArray &host);

// Whether a WebSocket's Origin is the remote's own page, served at httpPort of a name of this
// machine as the socket reached it (hostNamesUs).
bool isOwnPageOrigin(const QString &origin, const QHostAddress &local, quint16 httpPort,
                     const QString &machineName);

// The host part of a Host header that hostNamesUs took ("127.0.0.1", "[::1]", "showpc").
QByteArray hostName(const QByteArray &host);

// What a request asks for.
enum class Route
{
    None,
    Page,     // "/", the program's page
    Resource, // the page's script, style or icon
    State,    // GET /api/state
    Command,  // POST /api/command
    Versions, // GET /api/versions: the tag of each picture and of the script
    Script,   // GET /api/script: the script's lines, to jump to one
    Picture,  // a picture of what a screen shows or shows next
};

struct Target
{
    Route route = Route::None;
    QString resource; // Qt resource path of a Resource
    QString name;     // page data: "screen2/current", "slide/next", "script"
};

// Only fixed paths: nothing of the path is ever joined to a file name.
Target routeOf(Program program, const QString &path);

// "Bearer <token>" as given, else nothing.
std::optional<QString> bearerToken(const QByteArray &authorization);

// At most `burst` requests at once, refilled at `perSecond`, per sender address; bounded
// memory however many senders there are.
class RateLimit
{
public:
    RateLimit(double perSecond, double burst) : m_perSecond(perSecond), m_burst(burst) {}
    bool allow(const QString &sender, qint64 nowMs);

private:
    struct Bucket
    {
        double tokens = 0;
        qint64 atMs = 0;
    };
    double m_perSecond;
    double m_burst;
    QHash<QString, Bucket> m_buckets;
};

using Headers = QList<QPair<QByteArray, QByteArray>>;

// What every answer carries: nothing may be loaded from elsewhere, nothing is framed, no
// other origin may read it (no CORS header at all). The page's WebSocket goes to webSocketPort
// of the name it was loaded from (empty: none).
Headers safetyHeaders(const QByteArray &name, quint16 webSocketPort);

} // namespace remote::http
