#include "presentation_automation/host/shows/media_admission.h"

namespace pa::host {

MediaAdmission admitMedium(MediaKind kind, bool shown, const MediaCounts &open,
                           const MediaCounts &heldReady, const MediaCounts &most)
{
    if (open.of(kind) < most.of(kind)) {
        return MediaAdmission::Open;
    }
    if (shown && heldReady.of(kind) > 0) {
        return MediaAdmission::AfterHeldOneGoes;
    }
    return MediaAdmission::Refuse;
}

} // namespace pa::host
