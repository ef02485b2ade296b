#pragma once

#include "presentation_automation/automation.h"

namespace pa {

// The presentation application of this platform: PowerPoint on Windows, the built-in host
// program elsewhere.
ApplicationFactory defaultApplicationFactory();

} // namespace pa
