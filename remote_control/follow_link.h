#pragma once

// A backup's link to its main: a WebSocket client that reads the main's state, notices when
// the main goes quiet, and connects again with a growing pause. It only ever reads (and
// tells the main how it follows); it never sends a command.

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QTimer>

class QWebSocket;

namespace remote {

class FollowLink : public QObject
{
    Q_OBJECT

public:
    // The main sends its state at least once a second; this long without a word is a lost link.
    static constexpr int silenceMs = 3000;
    static constexpr int firstRetryMs = 200;
    static constexpr int lastRetryMs = 5000;

    // main is HOST:PORT of the main's WebSocket; token its view token (off the loopback).
    FollowLink(QString main, QString token, QObject *parent = nullptr);
    ~FollowLink() override;

    QString main() const { return m_main; }
    bool connected() const { return m_connected; }
    // How this backup follows, for the main's list of followers.
    void report(const QString &health);

signals:
    void stateReceived(const QJsonObject &state);
    void lost(const QString &why);
    // The main refused the link (a wrong token): said once per refusal.
    void refused(const QString &why);

private:
    void open();
    void retryLater();
    void received(const QString &message);
    void goneQuiet();

    QString m_main;
    QString m_token;
    QWebSocket *m_socket = nullptr;
    QTimer m_silence;
    QTimer m_retry;
    int m_retryMs = firstRetryMs;
    bool m_connected = false;
    bool m_accepted = false;
    QString m_lastReport;
    QString m_refusal; // why the main refused this backup last, until it lets it in
};

} // namespace remote
