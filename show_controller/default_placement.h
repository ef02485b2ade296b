#pragma once

// Corvane's placement numbers at start (Left, Top, Width in points of Screen 1..3): Screen 1
// on the display left of a 1024 x 768 primary, Screen 2 on the primary, Screen 3 right of it.
// Shared with corvane-check, which must assume what the window assumes.

#include <cstdint>

namespace corvane {

inline constexpr std::int16_t defaultPlacement[3][3] = {{-768, 0, 768}, {0, 0, 768}, {769, 0, 768}};

} // namespace corvane
