#include "serial_devices.h"

#include "platform/settings_format.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QStringList>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

namespace platform {

namespace {

#ifndef Q_OS_WIN
// The device number of a character device, so that two names of one device compare equal.
bool deviceNumber(const QString &path, dev_t *number)
{
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISCHR(info.st_mode)) {
        return false;
    }
    *number = info.st_rdev;
    return true;
}
#endif

} // namespace

QString defaultPortDevice(int port)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(port);
#else
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
#endif
}

QString configuredPortDevice(int port)
{
#ifdef Q_OS_WIN
    return defaultPortDevice(port);
#else
    // Off Windows the native format is an INI file, ~/.config/Corvane/Corvane.conf.
    const QSettings settings(settingsFormat(), QSettings::UserScope, QStringLiteral("Corvane"),
                             QStringLiteral("Corvane"));
    const QString device =
        settings.value(QStringLiteral("SerialPorts/Com%1").arg(port)).toString().trimmed();
    return device.isEmpty() ? defaultPortDevice(port) : device;
#endif
}

QString defaultConsoleListPath()
{
    return QStringLiteral("/sys/class/tty/console/active");
}

bool isSystemConsole(const QString &device, const QString &consoleListPath)
{
#ifdef Q_OS_WIN
    Q_UNUSED(device);
    Q_UNUSED(consoleListPath);
    return false;
#else
    QFile list(consoleListPath);
    if (consoleListPath.isEmpty() || !list.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QStringList names =
        QString::fromLocal8Bit(list.readAll())
            .split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    // A name without a folder is opened under /dev, as the serial layer does.
    const QString path =
        device.startsWith(QLatin1Char('/')) ? device : QStringLiteral("/dev/") + device;
    const QString canonical = QFileInfo(path).canonicalFilePath();
    dev_t number = 0;
    const bool isDevice = deviceNumber(path, &number);
    for (const QString &name : names) {
        const QString console = QStringLiteral("/dev/") + name;
        if (console == path ||
            (!canonical.isEmpty() && QFileInfo(console).canonicalFilePath() == canonical)) {
            return true;
        }
        dev_t consoleNumber = 0;
        if (isDevice && deviceNumber(console, &consoleNumber) && consoleNumber == number) {
            return true;
        }
    }
    return false;
#endif
}

} // namespace platform
