#include "presentation_automation/host/shows/media_admission.h"

#include <algorithm>

namespace pa::host {

MediaAdmission admitMedium(MediaKind kind, bool shown, const MediaCounts &open,
                           const MediaCounts &heldReady, const MediaCounts &most)
{
    const bool countRoom = open.of(kind) < most.of(kind);
    if (countRoom && open.bytes + mediumBytes(kind, QSize()) <= most.bytes) {
        return MediaAdmission::Open;
    }
    // One held of its kind frees at least what it is reckoned to take.
    if (shown && heldReady.of(kind) > 0) {
        return MediaAdmission::AfterHeldOneGoes;
    }
    return countRoom ? MediaAdmission::RefuseForMemory : MediaAdmission::Refuse;
}

std::int64_t mediumBytes(MediaKind kind, const QSize &picture, bool deep)
{
    if (kind != MediaKind::Video) {
        return soundBytes;
    }
    const QSize size = picture.isEmpty() ? QSize(1920, 1080) : picture;
    return (deep ? 2 : 1) * videoBytesPerPixel * size.width() * size.height();
}

std::int64_t framesRoomBeside(std::int64_t frameCapBytes, std::int64_t mediaBytes)
{
    const std::int64_t least = frameCapBytes / 3;
    return std::max(least, frameCapBytes - std::max<std::int64_t>(mediaBytes, 0));
}

} // namespace pa::host
