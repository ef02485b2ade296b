#pragma once

// Where the three slide show windows land: the saved screen numbers (points) against the
// displays. Positions count from the primary display's top-left corner, negative left of
// and above it, as on Windows; 1 pt is 4/3 px at 96 dpi.

#include "findings.h"

#include <QImage>
#include <QRect>
#include <QString>

#include <array>
#include <vector>

namespace showcheck {

struct Display
{
    QString name;
    QRect geometry; // logical pixels
    bool primary = false;
};

struct Placement
{
    int left = 0; // points
    int top = 0;
    int width = 0;
};

struct Landing
{
    Placement placement;
    QRect rect;        // pixels from the primary display's top-left corner
    int display = -1;  // index into Layout::displays: the one holding its corner, else most of it
    int offPixels = 0; // area that falls on no display
};

struct Layout
{
    std::vector<Display> displays; // moved so that the primary's corner is 0,0
    std::array<Landing, 3> windows;
    std::vector<Finding> findings;
};

// aspect: width over height of the slides. Each window lands as the host places it: its
// height follows the slide's shape, cut at the bottom of the display holding its top-left
// corner.
Layout layOut(const std::array<Placement, 3> &placement, std::vector<Display> displays,
              double aspect);

// Corvane's placement numbers at start, which stay in use for a row the operator does not
// apply.
std::array<Placement, 3> startPlacement();

// The numbers the screen numbers file gives once each row is applied with its Adjust
// button; a text Adjust cannot convert keeps the start value and is a finding. Throws
// pa::AutomationError when the file has fewer than nine fields.
std::array<Placement, 3> placementFromFile(const QString &content, std::vector<Finding> &findings);

// One line per display and per window, in the operator's words.
QStringList layoutText(const Layout &layout);

// The displays and windows to scale, labelled "Screen 1".."Screen 3".
QImage drawLayout(const Layout &layout, int maxWidth = 1000);

} // namespace showcheck
