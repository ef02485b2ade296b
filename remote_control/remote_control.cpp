#include "remote_control.h"

#include "remote_server.h"

#include <QThread>

namespace remote {

RemoteControl::RemoteControl(Program program, const RemoteSettings &settings,
                             const QString &logPath, QObject *parent)
    : QObject(parent), m_thread(new QThread(this)), m_logPath(logPath)
{
    m_thread->setObjectName(QStringLiteral("remote"));
    m_server = new RemoteServer(program, settings, logPath);
    m_server->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_server, &QObject::deleteLater);
    connect(m_server, &RemoteServer::commandReceived, this, &RemoteControl::command);
    connect(m_server, &RemoteServer::picturesWanted, this, &RemoteControl::picturesWanted);
    connect(m_server, &RemoteServer::statusChanged, this,
            [this](const QStringList &listening, const QStringList &clients) {
                m_listening = listening;
                m_clients = clients;
                emit statusChanged();
            });
    m_thread->start();
    // Listening before the window shows: a remote pressed at once is not lost. Binding takes
    // no time worth a thread's wait.
    QMetaObject::invokeMethod(
        m_server, [server = m_server] { server->start(); }, Qt::BlockingQueuedConnection);
}

RemoteControl::~RemoteControl()
{
    disconnect(m_server, nullptr, this, nullptr);
    m_thread->quit();
    m_thread->wait();
}

void RemoteControl::setState(const State &state)
{
    if (m_hasState && state.size() == m_lastState.size()) {
        bool same = true;
        for (qsizetype i = 0; i < state.size() && same; ++i) {
            same = state[i].key == m_lastState[i].key && state[i].value == m_lastState[i].value;
        }
        if (same) {
            return;
        }
    }
    m_lastState = state;
    m_hasState = true;
    QMetaObject::invokeMethod(
        m_server, [server = m_server, state] { server->setState(state); }, Qt::QueuedConnection);
}

void RemoteControl::setPageData(const QString &name, const QByteArray &tag, const QByteArray &bytes)
{
    QMetaObject::invokeMethod(
        m_server, [server = m_server, name, tag, bytes] { server->setPageData(name, tag, bytes); },
        Qt::QueuedConnection);
}

} // namespace remote
