#pragma once

// How many media one host keeps open at once, and the memory they hold. Each video holds its
// decoder's frames (about 44 MiB for a 1080p clip), so a slide with many videos, or many shows with
// clips, would otherwise take the memory the pages need. Clips held ready for a step to come give
// way to clips a show starts; a clip the show starts beyond the bound is not played, its picture
// stays.

#include "presentation_automation/host/decks/deck_description.h"

#include <QSize>

#include <cstdint>

namespace pa::host {

struct MediaCounts
{
    int videos = 0;
    int sounds = 0;
    // What they are reckoned to hold (see mediumBytes).
    std::int64_t bytes = 0;

    int of(MediaKind kind) const { return kind == MediaKind::Video ? videos : sounds; }
    void add(MediaKind kind, int n, std::int64_t held = 0)
    {
        (kind == MediaKind::Video ? videos : sounds) += n;
        bytes += held;
    }
};

// A video's decoder holds its reference and reorder frames, which grow with its picture:
// measured outside the host, a 1080p H.264 clip decoding on one thread takes about 44 MiB.
inline constexpr std::int64_t videoBytesPerPixel = 22;
inline constexpr std::int64_t soundBytes = 2ll * 1024 * 1024;

// Six videos, and no more than a 4K clip on each of three shows takes: six 4K clips would
// otherwise hold about 1 GiB.
inline constexpr MediaCounts mostMediaAtOnce{
    6, 16, 3 * videoBytesPerPixel * 3840 * 2160 + 16 * soundBytes};

enum class MediaAdmission
{
    Open,
    // Once a clip held ready for a later step has gone.
    AfterHeldOneGoes,
    // As many of its kind as most allows are open.
    Refuse,
    // The media open hold the memory most allows.
    RefuseForMemory,
};

// open: the media open in the host (playing, stopped on their slide or held ready); heldReady:
// those of them only held ready. shown: the clip is started by a show, not held ready. Open
// while both the count of its kind and the memory of all stay within most.
MediaAdmission admitMedium(MediaKind kind, bool shown, const MediaCounts &open,
                           const MediaCounts &heldReady, const MediaCounts &most = mostMediaAtOnce);

// What an open medium is reckoned to hold: a video by its picture, one not yet known counted
// as 1080p, twice that for one of more than 8 bits a sample (deep); a sound its buffers only.
// A medium about to open is reckoned as one not yet known.
std::int64_t mediumBytes(MediaKind kind, const QSize &picture, bool deep = false);

// The memory for frames held ahead, of frameCapBytes, once the open media took theirs: the
// media take the place of the farthest frames, so the host's memory stays where it was
// without them, but never more than two thirds of it: every show keeps its next and previous
// steps held (three 1080p shows).
std::int64_t framesRoomBeside(std::int64_t frameCapBytes, std::int64_t mediaBytes);

} // namespace pa::host
