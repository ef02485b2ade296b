#pragma once

// The format of the programs' own settings: an INI file the operator can edit by hand on every
// system (Corvane.conf under ~/.config on Linux, Corvane.ini under %APPDATA% on Windows), never
// the Windows registry.

#include <QSettings>

namespace platform {

QSettings::Format settingsFormat();

} // namespace platform
