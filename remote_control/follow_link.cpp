#include "follow_link.h"

#include <QJsonDocument>
#include <QUrl>
#include <QWebSocket>

namespace remote {

FollowLink::FollowLink(QString main, QString token, QObject *parent)
    : QObject(parent), m_main(std::move(main)), m_token(std::move(token))
{
    m_silence.setSingleShot(true);
    m_silence.setInterval(silenceMs);
    connect(&m_silence, &QTimer::timeout, this, &FollowLink::goneQuiet);
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &FollowLink::open);
    open();
}

FollowLink::~FollowLink()
{
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        delete m_socket;
    }
}

void FollowLink::open()
{
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket->deleteLater();
    }
    m_connected = false;
    m_accepted = false;
    m_socket = new QWebSocket(QString(), QWebSocketProtocol::VersionLatest, this);
    connect(m_socket, &QWebSocket::connected, this, [this] {
        m_connected = true;
        // The report is the hello: the main answers it, the token checked, before the states
        // this link takes.
        const QString health =
            m_lastReport.isEmpty() ? QStringLiteral("catching-up") : m_lastReport;
        m_lastReport.clear();
        report(health);
    });
    connect(m_socket, &QWebSocket::textMessageReceived, this, &FollowLink::received);
    connect(m_socket, &QWebSocket::disconnected, this, [this] {
        const bool was = m_connected;
        m_connected = false;
        m_silence.stop();
        if (was) {
            emit lost(m_refusal.isEmpty() ? QStringLiteral("the main closed the link")
                                          : QStringLiteral("the main refused: ") + m_refusal);
        }
        retryLater();
    });
    // A main that is not there yet: the connect fails, and is tried again.
    connect(m_socket, qOverload<QAbstractSocket::SocketError>(&QWebSocket::error), this, [this] {
        if (!m_connected) {
            retryLater();
        }
    });
    m_silence.start();
    m_socket->open(QUrl(QStringLiteral("ws://") + m_main));
}

void FollowLink::retryLater()
{
    if (m_retry.isActive()) {
        return;
    }
    m_retry.start(m_retryMs);
    m_retryMs = std::min(m_retryMs * 2, lastRetryMs);
}

void FollowLink::report(const QString &health)
{
    if (health == m_lastReport && m_connected) {
        return;
    }
    m_lastReport = health;
    if (!m_connected || !m_socket) {
        return;
    }
    QJsonObject message{{QStringLiteral("command"), QStringLiteral("follower")},
                        {QStringLiteral("value"), health}};
    if (!m_token.isEmpty()) {
        message.insert(QStringLiteral("token"), m_token);
    }
    m_socket->sendTextMessage(
        QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact)));
}

void FollowLink::received(const QString &message)
{
    const QJsonObject object = QJsonDocument::fromJson(message.toUtf8()).object();
    const QString type = object.value(QStringLiteral("type")).toString();
    if (type == QLatin1String("follower")) {
        m_accepted = true;
        m_refusal.clear();
    } else if (type == QLatin1String("state") && m_accepted) {
        m_silence.start();
        m_retryMs = firstRetryMs;
        emit stateReceived(object);
    } else if (type == QLatin1String("error")) {
        // Nothing more is taken from a main that refused: a fresh link asks again later.
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket->deleteLater();
        m_socket = nullptr;
        m_connected = false;
        m_silence.stop();
        m_refusal = object.value(QStringLiteral("message")).toString();
        emit refused(m_refusal);
        retryLater();
    }
}

void FollowLink::goneQuiet()
{
    const bool was = m_connected;
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket->deleteLater();
        m_socket = nullptr;
    }
    m_connected = false;
    // A main that refused this backup stays the reason while it keeps silent after.
    emit lost(!m_refusal.isEmpty() ? QStringLiteral("the main refused: ") + m_refusal
              : was                ? QStringLiteral("no word from the main for 3 s")
                                   : QStringLiteral("the main does not answer"));
    retryLater();
}

} // namespace remote
