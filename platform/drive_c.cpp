#include "drive_c.h"

#include <QDir>

namespace platform {

namespace {

QString &rootOverride()
{
    static QString root;
    return root;
}

} // namespace

void setDriveCRoot(const QString &root)
{
    rootOverride() = root;
}

QString driveCRoot()
{
    if (!rootOverride().isEmpty()) {
        return rootOverride();
    }
#ifdef Q_OS_WIN
    return QStringLiteral("C:\\");
#else
    return QDir::homePath();
#endif
}

QString mapDriveC(const QString &windowsPath)
{
    const bool onDriveC = windowsPath.size() >= 3 &&
                          windowsPath.at(0).toLower() == QLatin1Char('c') &&
                          windowsPath.at(1) == QLatin1Char(':') &&
                          (windowsPath.at(2) == QLatin1Char('\\') || windowsPath.at(2) == QLatin1Char('/'));
    if (!onDriveC) {
        return windowsPath;
    }
#ifdef Q_OS_WIN
    if (rootOverride().isEmpty()) {
        return windowsPath;
    }
#endif
    QString rest = windowsPath.mid(3);
    rest.replace(QLatin1Char('\\'), QLatin1Char('/'));
    QString root = driveCRoot();
    root.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (!root.endsWith(QLatin1Char('/'))) {
        root += QLatin1Char('/');
    }
    return root + rest;
}

} // namespace platform
