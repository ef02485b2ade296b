#pragma once

#include "presentation_automation/automation_error.h"

#include <QString>

namespace platform {

using pa::AutomationError;

// An error raised by the program itself; its source is the program's name, as the
// original runtime reported its own errors.
AutomationError runtimeError(const QString &description);

QString errorText(const AutomationError &error); // "source description"
QString errorSource(const AutomationError &error);
QString errorDescription(const AutomationError &error);

} // namespace platform
