#pragma once

// Where windows land on made-up desks: one table for the host, which places the windows, and
// for corvane-check, which must say the same beforehand. Whole points only, as the screen
// numbers files hold them.

#include "presentation_automation/placement/placement.h"

#include <QRect>
#include <QSizeF>

#include <vector>

namespace pa::testing {

struct PlacementCase
{
    const char *name;
    DisplayLayout layout; // in the window system's pixels
    RequestedPlacement placement;
    QSizeF slide; // points
    QRect rect;   // in the window system's pixels
    int display;  // index into layout.displays; -1: none
};

inline const std::vector<PlacementCase> &placementCases()
{
    static const QSizeF fourByThree(720, 540);
    static const QSizeF sixteenByNine(960, 540);
    // The primary in the middle of three, as an operator's desk often has it, though first in
    // the list and not at the desktop's corner.
    static const DisplayLayout threeDisplays{
        {QRect(1024, 0, 1920, 1080), QRect(0, 0, 1024, 768), QRect(2944, 0, 1280, 1024)}, 0};
    // A display above the primary.
    static const DisplayLayout primaryBelow{{QRect(0, 0, 1280, 720), QRect(0, 720, 1920, 1080)}, 1};
    static const DisplayLayout threeAlike{
        {QRect(0, 0, 1024, 768), QRect(1024, 0, 1024, 768), QRect(2048, 0, 1024, 768)}, 1};
    static const std::vector<PlacementCase> cases{
        {"left of the primary: negative left",
         threeDisplays,
         {-768, 0, 768},
         fourByThree,
         QRect(0, 0, 1024, 768),
         1},
        {"on the primary, at its corner",
         threeDisplays,
         {0, 0, 768},
         sixteenByNine,
         QRect(1024, 0, 1024, 576),
         0},
        {"right of the primary",
         threeDisplays,
         {1440, 0, 960},
         fourByThree,
         QRect(2944, 0, 1280, 960),
         2},
        {"taller than its display: cut at the display's bottom",
         threeDisplays,
         {0, 0, 1440},
         fourByThree,
         QRect(1024, 0, 1920, 1080),
         0},
        {"starting low: fitted above the display's bottom",
         threeDisplays,
         {-768, 150, 768},
         fourByThree,
         QRect(0, 200, 1024, 568),
         1},
        {"wider than its display: the corner's display counts",
         threeDisplays,
         {-768, 0, 2250},
         fourByThree,
         QRect(0, 0, 3000, 768),
         1},
        {"corner above every display: mostly on the right one, not cut",
         threeDisplays,
         {1440, -75, 960},
         fourByThree,
         QRect(2944, -100, 1280, 960),
         2},
        {"above the primary: negative top",
         primaryBelow,
         {0, -540, 960},
         sixteenByNine,
         QRect(0, 0, 1280, 720),
         0},
        {"on no display: not cut",
         threeDisplays,
         {-3000, 0, 768},
         fourByThree,
         QRect(-2976, 0, 1024, 768),
         -1},
        {"Corvane's Screen 3 at 769 pt: one column past the left edge",
         threeAlike,
         {769, 0, 768},
         fourByThree,
         QRect(2049, 0, 1024, 768),
         2},
    };
    return cases;
}

} // namespace pa::testing
