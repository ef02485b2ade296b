#include "platform/settings_format.h"

namespace platform {

// Already an INI file here, named .conf as the desktop's other programs name theirs.
QSettings::Format settingsFormat()
{
    return QSettings::NativeFormat;
}

} // namespace platform
