#include "error.h"

#include <QCoreApplication>

namespace platform {

AutomationError runtimeError(const QString &description)
{
    return AutomationError(QCoreApplication::applicationName().toStdString(), description.toStdString());
}

QString errorSource(const AutomationError &error)
{
    return QString::fromStdString(error.source());
}

QString errorDescription(const AutomationError &error)
{
    return QString::fromStdString(error.description());
}

QString errorText(const AutomationError &error)
{
    return errorSource(error) + QLatin1Char(' ') + errorDescription(error);
}

} // namespace platform
