#include "presentation_automation/default_backend.h"

#include "presentation_automation/powerpoint/powerpoint_automation.h"

namespace pa {

ApplicationFactory defaultApplicationFactory()
{
    return powerpoint::applicationFactory();
}

} // namespace pa
