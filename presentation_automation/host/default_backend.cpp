#include "presentation_automation/default_backend.h"

#include "client.h"

namespace pa {

ApplicationFactory defaultApplicationFactory()
{
    return host::applicationFactory();
}

} // namespace pa
