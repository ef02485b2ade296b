#include "presentation_automation/host/service/client_link.h"

#include "presentation_automation/host/host_core.h"
#include "presentation_automation/host/service/host_process.h"

#include <QLocalSocket>
#include <QPointer>

namespace pa::host {

namespace {

qint64 partialBytesOfAllLinks = 0;

} // namespace

ClientLink::ClientLink(QLocalSocket *socket, PresentationHost *host)
    : QObject(host), m_socket(socket), m_host(host)
{
    socket->setParent(this);
    // What the host has not taken yet stays in the kernel, which holds the client back.
    socket->setReadBufferSize(256 * 1024);
    connect(socket, &QLocalSocket::readyRead, this, &ClientLink::readRequests);
    connect(socket, &QLocalSocket::disconnected, this, &QObject::deleteLater);
    readRequests();
}

ClientLink::~ClientLink()
{
    partialBytesOfAllLinks -= m_partial;
    m_socket->disconnect(this);
}

void ClientLink::readRequests()
{
    m_readQueued = false;
    if (m_cut) {
        return;
    }
    int handled = 0;
    while (!m_busy) {
        if (handled == requestsPerTurn) {
            readLater();
            break;
        }
        auto payload = m_reader.next();
        if (!payload) {
            if (m_reader.failed() || m_socket->bytesAvailable() == 0) {
                break;
            }
            m_reader.append(m_socket->readAll());
            continue;
        }
        ++handled;
        auto request = decodeRequest(*payload);
        if (!request) {
            send(Reply::failure(QStringLiteral("Presentation host"),
                                QStringLiteral("The request could not be read.")));
            continue;
        }
        m_busy = true;
        QPointer<ClientLink> self(this);
        m_host->handle(*request, [self](const Reply &reply) {
            if (self) {
                self->m_busy = false;
                self->send(reply);
                self->readLater();
            }
        });
    }
    if (m_cut) {
        return;
    }
    if (m_reader.failed()) {
        m_socket->abort();
        return;
    }
    countPartial();
}

void ClientLink::readLater()
{
    if (!m_readQueued && !m_cut) {
        m_readQueued = true;
        QMetaObject::invokeMethod(this, &ClientLink::readRequests, Qt::QueuedConnection);
    }
}

// Out at once, ahead of whatever else the event loop holds (the journal, frames).
void ClientLink::send(const Reply &reply)
{
    if (m_cut) {
        return;
    }
    m_socket->write(frame(encodeReply(reply)));
    m_socket->flush();
    if (m_socket->bytesToWrite() > maxUnsentBytes) {
        cutOff(QStringLiteral("%1 MiB of its answers are not taken")
                   .arg(m_socket->bytesToWrite() / (1024 * 1024)));
    }
}

void ClientLink::countPartial()
{
    const qint64 now = m_reader.buffered();
    partialBytesOfAllLinks += now - m_partial;
    m_partial = now;
    if (now > 0 && partialBytesOfAllLinks > maxPartialBytes) {
        cutOff(QStringLiteral("the requests it has begun to send hold %1 MiB, over what all "
                              "programs together may hold")
                   .arg(now / (1024 * 1024)));
    }
}

void ClientLink::cutOff(const QString &why)
{
    m_cut = true;
    hostLog(QStringLiteral("A program's connection is cut off: %1.").arg(why));
    partialBytesOfAllLinks -= m_partial;
    m_partial = 0;
    m_reader = FrameReader();
    m_socket->abort();
    deleteLater();
}

} // namespace pa::host
