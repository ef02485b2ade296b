#include "presentation_automation/default_backend.h"

#include "presentation_automation/host/client/client.h"

namespace pa {

ApplicationFactory defaultApplicationFactory()
{
    return host::applicationFactory();
}

} // namespace pa
