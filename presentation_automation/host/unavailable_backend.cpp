#include "presentation_automation/default_backend.h"

namespace pa {

ApplicationFactory defaultApplicationFactory()
{
    return []() -> std::shared_ptr<Application> {
        throw AutomationError("Presentation application", "The presentation application cannot be reached.");
    };
}

} // namespace pa
