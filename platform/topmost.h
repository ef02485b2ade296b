#pragma once

class QWidget;

namespace platform {

// Keeps a window above all others, full-screen slide shows included. Works before or after
// the window is shown.
void makeTopmost(QWidget *window);

} // namespace platform
