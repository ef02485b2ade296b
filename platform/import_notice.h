#pragma once

// Tells the operator, as a deck is loaded, that the application shows it without its builds:
// each Next would then jump a whole slide where the audience expects the next point.

#include "presentation_automation/automation.h"

#include <QString>

#include <optional>

namespace platform {

// The message for the presentation just opened from fileName, or nullopt when it has its
// builds or the application cannot tell (a failing question is no reason to stop a load).
std::optional<QString> withoutBuildsMessage(pa::Presentation &presentation,
                                            const QString &fileName);

} // namespace platform
