#include "remote_log.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace remote {

namespace {
constexpr qint64 maxLogBytes = 1024 * 1024;
}

RemoteLog::RemoteLog(QString path) : m_path(std::move(path)) {}

void RemoteLog::write(const QString &line)
{
    if (m_path.isEmpty()) {
        return;
    }
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    if (QFileInfo(m_path).size() > maxLogBytes) {
        QFile::remove(m_path + QStringLiteral(".1"));
        QFile::rename(m_path, m_path + QStringLiteral(".1"));
    }
    QFile file(m_path);
    if (file.open(QIODevice::Append | QIODevice::Text)) {
        file.write((QDateTime::currentDateTime().toString(Qt::ISODateWithMs) + QLatin1Char(' ') +
                    line + QLatin1Char('\n'))
                       .toUtf8());
    }
}

QString defaultLogPath(const QString &folder)
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty()) {
        state = QDir::homePath() + QStringLiteral("/.local/state");
    }
    return state + QLatin1Char('/') + folder + QStringLiteral("/remote.log");
}

} // namespace remote
