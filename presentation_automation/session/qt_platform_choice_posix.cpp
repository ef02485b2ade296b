#include "presentation_automation/session/qt_platform_choice.h"

#include <cstdlib>

namespace pa {

void preferX11OnWayland()
{
    const std::string choice = chooseQtPlatform(currentSessionEnvironment());
    if (!choice.empty()) {
        ::setenv("QT_QPA_PLATFORM", choice.c_str(), 1);
    }
}

} // namespace pa
