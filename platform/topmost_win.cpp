#include <QWidget>

#include <windows.h>

namespace platform {

void raiseAboveOthers(QWidget *window)
{
    // Qt's hint alone loses to a full-screen show started later; the explicit call wins.
    SetWindowPos(reinterpret_cast<HWND>(window->winId()), HWND_TOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE);
}

} // namespace platform
