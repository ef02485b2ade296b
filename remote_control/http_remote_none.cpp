#include "remote_control/http_remote.h"

namespace remote {

// Built without Qt HttpServer (the Windows Qt has none): no HTTP remote.
std::unique_ptr<HttpRemote> makeHttpRemote(RemoteServer &)
{
    return nullptr;
}

} // namespace remote
