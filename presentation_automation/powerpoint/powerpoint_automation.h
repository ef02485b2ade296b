#pragma once

// The presentation application interface over PowerPoint's object model, late-bound through
// IDispatch.

#include "presentation_automation/automation.h"
#include "presentation_automation/powerpoint/com_ref.h"

#include <functional>

namespace pa::powerpoint {

// Produces the application object with a reference the caller owns, or throws AutomationError.
using DispatchCreator = std::function<ComRef<IDispatch>()>;

// CLSIDFromProgID("Powerpoint.Application") + CoCreateInstance on the local server, which
// reaches the one running PowerPoint (starting it when none runs).
ComRef<IDispatch> createRunningPowerPoint();

// Each call of the factory initialises COM on the calling thread (once) and wraps what
// `create` gives. The programs use createRunningPowerPoint; tests hand in their own object.
ApplicationFactory applicationFactory(DispatchCreator create = createRunningPowerPoint);

} // namespace pa::powerpoint
