#include "presentation_automation/host/service/socket_keeper.h"

#include "presentation_automation/host/service/host_process.h"
#include "presentation_automation/host/service/protocol.h"
#include "presentation_automation/host/service/runtime_dir.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileSystemWatcher>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pa::host {

namespace {

ino_t inodeOf(const QString &path)
{
    struct stat st
    {
    };
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) {
        return 0;
    }
    return st.st_ino;
}

int openLockFile(const QString &path)
{
    return ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
}

// Another host process is alive (it holds the alive lock), whatever its socket looks like.
bool anotherHostAlive(const QString &dir)
{
    const int fd = openLockFile(aliveLockPath(dir));
    if (fd < 0) {
        return false;
    }
    const bool alive = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return alive;
}

// An exclusive flock on the folder's listen lock; the kernel drops it if the host dies.
class ListenLock
{
public:
    ListenLock(const QString &dir, bool wait)
    {
        m_fd = openLockFile(listenLockPath(dir));
        if (m_fd >= 0 && ::flock(m_fd, LOCK_EX | (wait ? 0 : LOCK_NB)) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~ListenLock()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    ListenLock(const ListenLock &) = delete;
    ListenLock &operator=(const ListenLock &) = delete;
    bool held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

// Nobody listens there: connecting is refused at once. Anything else counts as alive.
bool nobodyListens(const QString &path)
{
    QLocalSocket socket;
    socket.connectToServer(path);
    if (socket.waitForConnected(100)) {
        socket.abort();
        return false;
    }
    return socket.error() == QLocalSocket::ConnectionRefusedError ||
           socket.error() == QLocalSocket::ServerNotFoundError;
}

} // namespace

SocketKeeper::Probe SocketKeeper::probe(const QString &path, int waitMs)
{
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(waitMs)) {
        const auto error = socket.error();
        return error == QLocalSocket::ConnectionRefusedError ||
                       error == QLocalSocket::ServerNotFoundError
                   ? Probe::Free
                   : Probe::Silent;
    }
    Request hello;
    socket.write(frame(encodeRequest(hello)));
    socket.waitForBytesWritten(waitMs);
    FrameReader reader;
    QDeadlineTimer deadline(2 * waitMs);
    while (!deadline.hasExpired()) {
        if (auto payload = reader.next()) {
            auto reply = decodeReply(*payload);
            return reply && reply->ok && reply->text == QLatin1String(protocolGreeting)
                       ? Probe::Host
                       : Probe::Stranger;
        }
        if (reader.failed()) {
            return Probe::Stranger;
        }
        if (!socket.waitForReadyRead(
                static_cast<int>(std::max<qint64>(1, deadline.remainingTime())))) {
            return socket.state() == QLocalSocket::ConnectedState ? Probe::Silent : Probe::Stranger;
        }
        reader.append(socket.readAll());
    }
    return Probe::Silent;
}

SocketKeeper::SocketKeeper(QString runtimeDir, QObject *parent)
    : QObject(parent), m_dir(std::move(runtimeDir)), m_server(new QLocalServer(this)),
      m_timer(new QTimer(this)), m_watcher(new QFileSystemWatcher(this))
{
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            emit newConnection(socket);
        }
    });
    connect(m_timer, &QTimer::timeout, this, &SocketKeeper::check);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &SocketKeeper::check);
}

SocketKeeper::~SocketKeeper()
{
    if (m_aliveFd >= 0) {
        ::close(m_aliveFd);
    }
    if (m_displaced) {
        // Closing the server removes the file at the path, which is another host's now.
        m_server->setParent(nullptr);
        m_server->disconnect();
        m_server = nullptr;
    }
}

void SocketKeeper::release()
{
    m_timer->stop();
    if (m_listening && !m_displaced) {
        m_server->close();
    }
    m_listening = false;
}

QString SocketKeeper::path() const
{
    return socketPath(m_dir);
}

bool SocketKeeper::listen(bool replace, QString *why, bool *otherHost)
{
    *otherHost = false;
    const QString problem = preparePrivateFolder(m_dir);
    if (!problem.isEmpty()) {
        *why = problem;
        return false;
    }
    // A live host whose socket file was removed a moment ago listens again at once: it is
    // waited for, not replaced.
    for (int attempt = 0;; ++attempt) {
        {
            const ListenLock lock(m_dir, true);
            if (!lock.held()) {
                *why = QStringLiteral("The lock %1 cannot be taken.").arg(listenLockPath(m_dir));
                return false;
            }
            const Probe found = probe(path(), 1000);
            if (found != Probe::Free || attempt >= 30 || !anotherHostAlive(m_dir)) {
                return takeUnlessHeld(found, replace, why, otherHost);
            }
        }
        // Outside the lock, which the other host needs to listen again.
        QThread::msleep(100);
    }
}

bool SocketKeeper::takeUnlessHeld(Probe found, bool replace, QString *why, bool *otherHost)
{
    switch (found) {
    case Probe::Free:
        break;
    case Probe::Host:
        *otherHost = true;
        *why = QStringLiteral("Another presentation host already answers at %1.").arg(path());
        return false;
    case Probe::Silent:
        if (!replace) {
            *why = QStringLiteral("A presentation host holds %1 but does not answer; it is left "
                                  "in charge (start with --replace to take over).")
                       .arg(path());
            return false;
        }
        hostLog(QStringLiteral("Taking %1 over, as asked: what holds it accepts but does not "
                               "answer. A host there that wrote a journal has its shows put "
                               "back here.")
                    .arg(path()));
        break;
    case Probe::Stranger:
        if (!replace) {
            *why = QStringLiteral("Something that is not a presentation host answers at %1 "
                                  "(start with --replace to take over).")
                       .arg(path());
            return false;
        }
        hostLog(QStringLiteral("Taking %1 over, as asked: what answers there is not a "
                               "presentation host.")
                    .arg(path()));
        break;
    }
    if (!take(why)) {
        return false;
    }
    // Taken while the listen lock is held, so no host sees this one's socket without its
    // sign of life.
    m_aliveFd = openLockFile(aliveLockPath(m_dir));
    if (m_aliveFd >= 0) {
        ::flock(m_aliveFd, LOCK_SH);
    }
    m_timer->start(500);
    return true;
}

bool SocketKeeper::take(QString *why)
{
    // Only called under the listen lock: no other host can make a socket here meanwhile,
    // so the inode read after listening is this server's.
    m_server->close();
    QLocalServer::removeServer(path());
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(path())) {
        *why = QStringLiteral("Cannot listen at %1: %2").arg(path(), m_server->errorString());
        m_listening = false;
        return false;
    }
    m_inode = inodeOf(path());
    m_listening = true;
    if (!m_watcher->directories().contains(m_dir)) {
        m_watcher->addPath(m_dir);
    }
    return true;
}

void SocketKeeper::check()
{
    if (!m_listening) {
        return;
    }
    const ino_t now = inodeOf(path());
    if (!m_displaced && now == m_inode) {
        return;
    }
    if (now != 0 && !m_displaced) {
        m_displaced = true;
        hostLog(QStringLiteral("Another presentation host took %1.").arg(path()));
        emit displaced();
        return;
    }
    // The file is gone (or, while displaced, maybe left by a host that died since): take
    // the path again if nobody answers there.
    if (now != 0 && !nobodyListens(path())) {
        return;
    }
    if (!preparePrivateFolder(m_dir).isEmpty()) {
        return;
    }
    const ListenLock lock(m_dir, false);
    if (!lock.held() || (inodeOf(path()) != 0 && !nobodyListens(path()))) {
        return; // a host is deciding right now; look again at the next tick
    }
    QString why;
    const bool wasDisplaced = m_displaced;
    m_displaced = false;
    if (!take(&why)) {
        m_displaced = wasDisplaced;
        m_listening = true; // keep trying at every tick
        hostLog(why);
        return;
    }
    hostLog(QStringLiteral("The socket %1 was gone; listening there again.").arg(path()));
    if (wasDisplaced) {
        emit regained();
    }
}

} // namespace pa::host
