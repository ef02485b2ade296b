#pragma once

// Where a show window goes. The controllers place show windows in points counted from the
// primary display's top-left corner, as Windows counts desktop coordinates, so a display left
// of or above the primary has negative coordinates. The window system counts in logical
// pixels from the corner of the whole desktop. Pure arithmetic over a list of displays, so
// every layout can be tried without one.

#include <QRect>
#include <QSizeF>

#include <optional>
#include <vector>

namespace pa {

// The displays as the window system has them, in logical pixels.
struct DisplayLayout
{
    std::vector<QRect> displays;
    size_t primary = 0;

    QPoint origin() const;
};

// Left, top and width in points, as last set by a controller; read back exactly as set.
struct RequestedPlacement
{
    double left = 0;
    double top = 0;
    double width = 0;
};

// 1 pt = 4/3 logical px (96 px per inch).
int pointsToPixels(double points);
double pixelsToPoints(int pixels);

// A window filling the primary display, as a show starts.
RequestedPlacement fullPrimary(const DisplayLayout &layout);

// The display holding the rectangle's top-left corner, else the one it overlaps most;
// nullopt when it is on no display at all.
std::optional<size_t> displayHolding(const DisplayLayout &layout, const QRect &rect);

// The requested rectangle in window-system pixels, with the height the slide's own shape
// gives it at that width.
QRect requestedRect(const DisplayLayout &layout, const RequestedPlacement &placement,
                    const QSizeF &slideSize);

// Where a window ends up: its geometry (the requested rectangle, no taller than the display
// holding its top-left corner allows) and the display it counts as being on.
struct WindowLanding
{
    QRect rect;
    std::optional<size_t> display;
};

WindowLanding windowLanding(const DisplayLayout &layout, const RequestedPlacement &placement,
                            const QSizeF &slideSize);

QRect windowRect(const DisplayLayout &layout, const RequestedPlacement &placement,
                 const QSizeF &slideSize);

} // namespace pa
