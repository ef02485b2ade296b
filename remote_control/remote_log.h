#pragma once

// The remote's log: who connected, left, was refused. Never a token. Kept under 1 MiB by
// moving a full log to <file>.1.

#include <QString>

namespace remote {

class RemoteLog
{
public:
    explicit RemoteLog(QString path);
    void write(const QString &line);
    const QString &path() const { return m_path; }

private:
    QString m_path;
};

// ~/.local/state/<folder>/remote.log ($XDG_STATE_HOME when set).
QString defaultLogPath(const QString &folder);

} // namespace remote
