#pragma once

// Which Qt platform plugin a program runs on. On Wayland a program can neither place its
// windows at desktop coordinates nor keep one on top, which the show windows and the
// controllers' topmost windows need; when an X server (XWayland) is reachable too, the
// programs run on it instead. Plain C++, so it runs before QApplication exists.

#include <optional>
#include <string>

namespace pa {

// The variables the choice depends on; nullopt is an unset variable.
struct SessionEnvironment
{
    std::optional<std::string> sessionType;    // XDG_SESSION_TYPE
    std::optional<std::string> waylandDisplay; // WAYLAND_DISPLAY
    std::optional<std::string> display;        // DISPLAY
    std::optional<std::string> qpaPlatform;    // QT_QPA_PLATFORM, the user's own choice
};

// The platform plugin to force ("xcb"), or empty to leave Qt's own choice alone.
std::string chooseQtPlatform(const SessionEnvironment &env);

SessionEnvironment currentSessionEnvironment();

// Called at the top of main, before QApplication: sets QT_QPA_PLATFORM when the choice says so.
void preferX11OnWayland();

} // namespace pa
