#pragma once

// One client's connection to the host. Requests are answered strictly in order; while one
// waits for a load the next ones wait too (a client sends one at a time anyway). A client
// cannot make the host hold without bound what it sends or what it does not read: a link
// whose unsent answers pass a bound is cut off, and the starts of frames still coming count
// against a total shared by all links. A client that pipelines many requests is served a
// few at a time, so the other clients' requests and the shows' paints go in between.

#include "presentation_automation/host/service/protocol.h"

#include <QObject>

#include <cstdint>

class QLocalSocket;

namespace pa::host {

class PresentationHost;

class ClientLink : public QObject
{
public:
    // Answers not yet taken by the client, beyond which it is cut off.
    static constexpr qint64 maxUnsentBytes = 16ll * 1024 * 1024;
    // Frames still coming, over all links: 8 clients each half way through the largest frame.
    static constexpr qint64 maxPartialBytes = 32ll * 1024 * 1024;
    static constexpr int requestsPerTurn = 4;

    ClientLink(QLocalSocket *socket, PresentationHost *host);
    // The socket, a child, is closed after this is gone and must not call back into it.
    ~ClientLink() override;

private:
    void readRequests();
    void readLater();
    void send(const Reply &reply);
    void cutOff(const QString &why);
    void countPartial();

    QLocalSocket *m_socket;
    PresentationHost *m_host;
    FrameReader m_reader;
    qint64 m_partial = 0;
    bool m_busy = false;
    bool m_readQueued = false;
    bool m_cut = false;
};

} // namespace pa::host
