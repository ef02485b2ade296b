#pragma once

// The host's hold on its socket path. A live host is never pushed aside: a host takes the
// path only when nothing answers there, deciding and taking under a lock shared by all
// hosts of the folder, so the socket it records is the one it made. When the file is
// removed it listens again at once; when another host holds the path it says so.

#include <QObject>
#include <QString>

#include <sys/types.h>

class QFileSystemWatcher;
class QLocalServer;
class QLocalSocket;
class QTimer;

namespace pa::host {

class SocketKeeper : public QObject
{
    Q_OBJECT

public:
    // What answers at a socket path.
    enum class Probe
    {
        Free,     // no file, or nobody listens: a host that died
        Host,     // a host that greets
        Silent,   // something accepts but does not answer in time: a busy or stopped host
        Stranger, // something that answers, but not as a host
    };
    static Probe probe(const QString &path, int waitMs);

    explicit SocketKeeper(QString runtimeDir, QObject *parent = nullptr);
    ~SocketKeeper() override;

    // Takes the path when it is free (or, with replace, held by something that is not a
    // greeting host). False with a reason when not; *otherHost when a host answers there.
    bool listen(bool replace, QString *why, bool *otherHost);
    // False while another host holds the path.
    bool ownsPath() const { return m_listening && !m_displaced; }
    QString path() const;
    // Stops listening; the socket file goes unless it is another host's now.
    void release();

signals:
    void newConnection(QLocalSocket *socket);
    // Another host holds the path now; this one is reached only by its open connections.
    void displaced();
    // The path is this host's again.
    void regained();

private:
    void check();
    // Under the listen lock: takes the path unless what was found there keeps it.
    bool takeUnlessHeld(Probe found, bool replace, QString *why, bool *otherHost);
    bool take(QString *why);

    QString m_dir;
    QLocalServer *m_server;
    QTimer *m_timer;
    QFileSystemWatcher *m_watcher;
    ino_t m_inode = 0;
    int m_aliveFd = -1;
    bool m_listening = false;
    bool m_displaced = false;
};

} // namespace pa::host
