#pragma once

// Where the script sends each screen on the next Next and on the next Previous. Every slide
// of the coming step is known before the operator presses, so Corvane hands them to the
// presentation application as a hint, and an application that draws ahead has them ready.

#include "presentation_automation/automation.h"

#include <QStringList>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace showscript {

// For Screen 1, 2, 3 (index 0, 1, 2) at script position lineNumber: the slide the next Next
// puts the screen on; nothing for a screen it leaves where it is.
std::array<std::optional<std::int32_t>, 3> slidesOnNext(const QStringList &lines, int lineNumber);

// For Screen 1, 2, 3 (index 0, 1, 2) at script position lineNumber: the slide the next Next
// puts the screen on, then the one the next Previous puts it on, each once. A screen that
// neither moves, or whose field is no slide number, gets an empty list.
std::array<std::vector<std::int32_t>, 3> slidesAhead(const QStringList &lines, int lineNumber);

// Gives each screen's presentation its slides ahead; screens not loaded are passed over and
// a presentation that refuses the hint is skipped, as a hint changes nothing on screen.
void prepareSlidesAhead(const std::array<std::shared_ptr<pa::Presentation>, 3> &screens,
                        const QStringList &lines, int lineNumber);

} // namespace showscript
