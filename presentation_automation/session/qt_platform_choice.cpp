#include "presentation_automation/session/qt_platform_choice.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace pa {

namespace {

bool filled(const std::optional<std::string> &value)
{
    return value && !value->empty();
}

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::optional<std::string> variable(const char *name)
{
    if (const char *value = std::getenv(name)) {
        return std::string(value);
    }
    return std::nullopt;
}

} // namespace

std::string chooseQtPlatform(const SessionEnvironment &env)
{
    // An empty QT_QPA_PLATFORM is ignored by Qt too, so it is no choice.
    if (filled(env.qpaPlatform)) {
        return {};
    }
    const bool wayland =
        (env.sessionType && lower(*env.sessionType) == "wayland") || filled(env.waylandDisplay);
    if (wayland && filled(env.display)) {
        return "xcb";
    }
    return {};
}

SessionEnvironment currentSessionEnvironment()
{
    return {variable("XDG_SESSION_TYPE"), variable("WAYLAND_DISPLAY"), variable("DISPLAY"),
            variable("QT_QPA_PLATFORM")};
}

} // namespace pa
