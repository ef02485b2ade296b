#include "presentation_automation/host/shows/x11_heads.h"

namespace pa::host {

// Built without Xinerama's client library: Qt's screens are all there is.
std::vector<QRect> xineramaHeads()
{
    return {};
}

} // namespace pa::host
