#pragma once

// A network share that goes away, as a test holds it: a FUSE file system (Debian's
// python3-fusepy) serving one real file, whose opens or reads block while a marker file
// outside the mount exists, as a share's do once its server is gone, and go on once the
// marker goes. Reads bypass the page cache, so every read of the player reaches it.

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QThread>

#include <memory>

namespace pa::host::testing {

class HangingShare
{
public:
    // Serves file (its own name) at mountPoint, made if missing; markers go beside it.
    HangingShare(const QString &file, const QString &mountPoint)
        : m_mountPoint(QDir::cleanPath(mountPoint)),
          m_readMarker(m_mountPoint + QStringLiteral(".reads-hang")),
          m_openMarker(m_mountPoint + QStringLiteral(".opens-hang"))
    {
        static const char *const script = R"(
import errno, os, stat, sys, time
sys.path.append('/usr/lib/python3/dist-packages')
from fusepy import FUSE, FuseOSError, Operations
source, mount, reads_hang, opens_hang = sys.argv[1:5]
name = '/' + os.path.basename(source)
data = open(source, 'rb').read()
def held(marker):
    while os.path.exists(marker):
        time.sleep(0.05)
class Share(Operations):
    def getattr(self, path, fh=None):
        now = time.time()
        if path == '/':
            return dict(st_mode=stat.S_IFDIR | 0o755, st_nlink=2, st_size=0,
                        st_mtime=now, st_atime=now, st_ctime=now)
        if path == name:
            return dict(st_mode=stat.S_IFREG | 0o444, st_nlink=1, st_size=len(data),
                        st_mtime=now, st_atime=now, st_ctime=now)
        raise FuseOSError(errno.ENOENT)
    def readdir(self, path, fh):
        return ['.', '..', name[1:]]
    def open(self, path, flags):
        if path != name:
            raise FuseOSError(errno.ENOENT)
        held(opens_hang)
        return 0
    def read(self, path, size, offset, fh):
        held(reads_hang)
        return data[offset:offset + size]
FUSE(Share(), mount, foreground=True, ro=True, direct_io=True)
)";
        QDir().mkpath(m_mountPoint);
        const QString python = QFile::exists(QStringLiteral("/usr/bin/python3"))
                                   ? QStringLiteral("/usr/bin/python3")
                                   : QStringLiteral("python3");
        m_server = std::make_unique<QProcess>();
        m_server->setProcessChannelMode(QProcess::MergedChannels);
        m_server->start(python, {QStringLiteral("-c"), QString::fromLatin1(script), file,
                                 m_mountPoint, m_readMarker, m_openMarker});
        m_served = m_mountPoint + QLatin1Char('/') + QFileInfo(file).fileName();
        const QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired() && m_server->state() != QProcess::NotRunning) {
            if (mounted()) {
                return;
            }
            QThread::msleep(50);
        }
        m_server->waitForFinished(1000);
        m_whyNot = QStringLiteral("a FUSE file system cannot be mounted here: ") +
                   QString::fromLocal8Bit(m_server->readAll()).trimmed();
    }

    ~HangingShare()
    {
        setReadsHang(false);
        setOpensHang(false);
        if (m_server->state() != QProcess::NotRunning) {
            // Unmounts as it ends.
            m_server->terminate();
            if (!m_server->waitForFinished(5000)) {
                m_server->kill();
                m_server->waitForFinished(5000);
            }
        }
        if (mounted()) {
            const QString fusermount = QStandardPaths::findExecutable(QStringLiteral("fusermount"));
            if (!fusermount.isEmpty()) {
                QProcess::execute(fusermount,
                                  {QStringLiteral("-u"), QStringLiteral("-z"), m_mountPoint});
            }
        }
    }

    // Empty when the share is mounted, else why not.
    QString whyNot() const { return m_whyNot; }
    // The file as it lies on the share.
    QString served() const { return m_served; }

    void setReadsHang(bool hang) { mark(m_readMarker, hang); }
    void setOpensHang(bool hang) { mark(m_openMarker, hang); }

private:
    bool mounted() const
    {
        QFile mounts(QStringLiteral("/proc/self/mounts"));
        if (!mounts.open(QIODevice::ReadOnly)) {
            return false;
        }
        const QByteArray needle = ' ' + QFile::encodeName(m_mountPoint) + ' ';
        return mounts.readAll().contains(needle);
    }

    static void mark(const QString &marker, bool on)
    {
        if (on) {
            QFile f(marker);
            f.open(QIODevice::WriteOnly);
        } else {
            QFile::remove(marker);
        }
    }

    QString m_mountPoint;
    QString m_readMarker;
    QString m_openMarker;
    QString m_served;
    QString m_whyNot;
    std::unique_ptr<QProcess> m_server;
};

} // namespace pa::host::testing
