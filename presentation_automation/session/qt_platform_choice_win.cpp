#include "presentation_automation/session/qt_platform_choice.h"

namespace pa {

// Windows has one window system and Qt one platform plugin for it: nothing to choose.
void preferX11OnWayland() {}

} // namespace pa
