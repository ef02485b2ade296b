#pragma once

// The HTTP remote, as the network remote's server sees it: where it listens and the pictures
// it serves. Made only where Qt HttpServer is there; elsewhere makeHttpRemote gives nothing.

#include <QByteArray>
#include <QHostAddress>
#include <QString>

#include <memory>

namespace remote {

class RemoteServer;

class HttpRemote
{
public:
    virtual ~HttpRemote() = default;
    // Empty when listening, else why not.
    virtual QString listen(const QHostAddress &address, quint16 port) = 0;
    // What the page shows besides the state: a picture ("screen2/next", "slide/current", a
    // JPEG) or the script's lines ("script", JSON); tag names what it holds. Empty bytes
    // withdraw it (a screen without a show).
    virtual void setPageData(const QString &name, const QByteArray &tag,
                             const QByteArray &bytes) = 0;
};

// Lives on the server's thread and asks it for the state and to run commands.
std::unique_ptr<HttpRemote> makeHttpRemote(RemoteServer &server);

} // namespace remote
