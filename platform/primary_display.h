#pragma once

// Where a controller's main window opens: on the primary display, whole. Window managers
// differ (one puts a new window at the desktop's corner, on the display left of the primary,
// over a show; others let it straddle two displays), so the programs say where.

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace platform {

// The top-left corner of a window frame of frameSize centred in available (the primary
// display without its panels); a frame larger than that starts at its top-left corner.
QPoint cornerOnPrimary(const QSize &frameSize, const QRect &available);

// Moves a window that is not shown yet to the primary display; the window manager is told the
// position was chosen by the program.
void openOnPrimary(QWidget *window);

} // namespace platform
