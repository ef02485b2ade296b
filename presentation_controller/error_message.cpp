#include "error_message.h"

#include "platform/error.h"

#include <QCoreApplication>

namespace kestro {

QString errorMessage(const std::exception &error)
{
    if (const auto *automation = dynamic_cast<const pa::AutomationError *>(&error)) {
        return platform::errorText(*automation);
    }
    return QCoreApplication::applicationName() + QLatin1Char(' ') +
           QString::fromLocal8Bit(error.what());
}

} // namespace kestro
