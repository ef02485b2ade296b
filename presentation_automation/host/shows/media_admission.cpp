#include "presentation_automation/host/shows/media_admission.h"

#include <algorithm>

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

std::int64_t mediumBytes(MediaKind kind, const QSize &picture)
{
    if (kind != MediaKind::Video) {
        return 2ll * 1024 * 1024;
    }
    const QSize size = picture.isEmpty() ? QSize(1920, 1080) : picture;
    // 44 MiB over a 1080p picture's pixels.
    constexpr std::int64_t bytesPerPixel = 22;
    return bytesPerPixel * size.width() * size.height();
}

std::int64_t framesRoomBeside(std::int64_t frameCapBytes, std::int64_t mediaBytes)
{
    const std::int64_t least = frameCapBytes / 3;
    return std::max(least, frameCapBytes - std::max<std::int64_t>(mediaBytes, 0));
}

} // namespace pa::host
