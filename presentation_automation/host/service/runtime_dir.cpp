#include "presentation_automation/host/service/runtime_dir.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace pa::host {

QString defaultRuntimeDir()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (base.isEmpty()) {
        base = QDir::tempPath() + QStringLiteral("/runtime-") + QString::number(geteuid());
    }
    return base + QStringLiteral("/presentation-host");
}

QString preparePrivateFolder(const QString &dir)
{
    const QString absolute = QFileInfo(dir).absoluteFilePath();
    const QByteArray native = QFile::encodeName(absolute);
    struct stat st
    {
    };
    if (::lstat(native.constData(), &st) != 0) {
        if (errno != ENOENT) {
            return QStringLiteral("The folder %1 cannot be examined: %2")
                .arg(absolute, QString::fromLocal8Bit(std::strerror(errno)));
        }
        QDir().mkpath(QFileInfo(absolute).path());
        if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) {
            return QStringLiteral("The folder %1 cannot be created: %2")
                .arg(absolute, QString::fromLocal8Bit(std::strerror(errno)));
        }
        if (::lstat(native.constData(), &st) != 0) {
            return QStringLiteral("The folder %1 cannot be examined: %2")
                .arg(absolute, QString::fromLocal8Bit(std::strerror(errno)));
        }
    }
    if (!S_ISDIR(st.st_mode)) {
        return QStringLiteral("%1 is not a folder (a link or a file is not accepted).")
            .arg(absolute);
    }
    if (st.st_uid != geteuid()) {
        return QStringLiteral("The folder %1 belongs to another user.").arg(absolute);
    }
    if ((st.st_mode & 077) != 0) {
        return QStringLiteral("The folder %1 is open to other users (mode %2); it must be 0700.")
            .arg(absolute)
            .arg(st.st_mode & 0777, 4, 8, QLatin1Char('0'));
    }
    return {};
}

QString socketPath(const QString &dir)
{
    return QFileInfo(dir).absoluteFilePath() + QStringLiteral("/host.socket");
}

QString startLockPath(const QString &dir)
{
    return QFileInfo(dir).absoluteFilePath() + QStringLiteral("/start.lock");
}

QString listenLockPath(const QString &dir)
{
    return QFileInfo(dir).absoluteFilePath() + QStringLiteral("/listen.lock");
}

QString aliveLockPath(const QString &dir)
{
    return QFileInfo(dir).absoluteFilePath() + QStringLiteral("/alive.lock");
}

QString journalPath(const QString &dir)
{
    return QFileInfo(dir).absoluteFilePath() + QStringLiteral("/journal.json");
}

} // namespace pa::host
