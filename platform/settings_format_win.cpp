#include "platform/settings_format.h"

namespace platform {

// The native format here is the registry, which no operator edits by hand.
QSettings::Format settingsFormat()
{
    return QSettings::IniFormat;
}

} // namespace platform
