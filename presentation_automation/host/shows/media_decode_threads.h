#pragma once

// How many threads a clip's video decoder runs. Each thread holds frames of its own (a 4K
// frame is 12 MiB), so one is best, and one decodes up to 1080p at 60 frames a second or 1440p
// at 30 with room to spare; a stream of more pixels a second (4K) gets a thread for each
// 1080p60's worth, up to the cores, so that it keeps its rate rather than stutter.

namespace pa::host {

// A stream of width by height pixels at framesPerSecond (0 or less when the stream does not
// say: taken as 30) on cores (at least 1): from 1 to cores.
int decodeThreadsFor(int width, int height, double framesPerSecond, int cores);

// The most threads one decoder may run: the machine's cores, or fewer when
// PRESENTATION_HOST_DECODE_THREADS in the environment says so.
int decodeThreadsAllowed();

} // namespace pa::host
