#pragma once

// Where a second window opens beside a program's main window without covering it.

#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>

class QWidget;

namespace platform {

// The top-left corner for a window frame of the given size right of mainFrame, or else left
// of it, inside available (the main window's screen: the other screens show the slides);
// nothing when neither side has room.
std::optional<QPoint> besidePlacement(const QRect &mainFrame, const QSize &frameSize,
                                      const QRect &available);

// Moves window beside main where its screen has room; otherwise leaves it to the desktop.
void placeBeside(QWidget *window, const QWidget *main);

} // namespace platform
