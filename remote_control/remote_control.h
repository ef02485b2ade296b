#pragma once

// A controller's network remote, seen from its window's thread: the sockets run on a thread
// of their own; commands arrive as the texts the controller's remote queue runs, and the
// controller reports its state, which goes to every subscriber when it changes.

#include "remote_control/commands.h"
#include "remote_control/remote_settings.h"

#include <QObject>
#include <QStringList>

class QThread;

namespace remote {

class RemoteServer;

class RemoteControl : public QObject
{
    Q_OBJECT

public:
    RemoteControl(Program program, const RemoteSettings &settings, const QString &logPath,
                  QObject *parent = nullptr);
    ~RemoteControl() override;

    // Sends the state on when it differs from the last one given.
    void setState(const State &state);
    // What the web remote's page shows besides the state (see HttpRemote::setPageData).
    void setPageData(const QString &name, const QByteArray &tag, const QByteArray &bytes);

    // What listens where ("text TCP 127.0.0.1:52511"), and who is connected or subscribed.
    QStringList listening() const { return m_listening; }
    QStringList clients() const { return m_clients; }
    QString logPath() const { return m_logPath; }

signals:
    void command(const QString &queueText);
    void statusChanged();
    // A web page shows the pictures: keep them up to date for a while.
    void picturesWanted();

private:
    QThread *m_thread = nullptr;
    RemoteServer *m_server = nullptr;
    State m_lastState;
    bool m_hasState = false;
    QStringList m_listening;
    QStringList m_clients;
    QString m_logPath;
};

} // namespace remote
