#include "presentation_automation/host/shows/media_decode_threads.h"

#include <QtGlobal>

#include <algorithm>
#include <cmath>
#include <thread>

namespace pa::host {

namespace {

// What one thread is given: 1080p at 60 frames a second, or 1440p at 30. One core of a 2-core
// machine decodes about 400 million pixels a second of 20 Mbit/s H.264, three times this, which
// leaves room for the pictures made of the frames and for clips side by side; 4K at 30 on one
// thread would have less than twice its rate.
constexpr double pixelsPerThread = 1920.0 * 1080.0 * 60.0;

} // namespace

int decodeThreadsFor(int width, int height, double framesPerSecond, int cores)
{
    const int most = std::max(1, cores);
    if (width <= 0 || height <= 0) {
        return 1;
    }
    const double rate = framesPerSecond > 0 ? framesPerSecond : 30.0;
    const double pixelsPerSecond = double(width) * double(height) * rate;
    // A hair over whole threads' worth (1088 lines coded for 1080) asks for no thread more.
    const double threads = std::ceil(pixelsPerSecond / (pixelsPerThread * 1.01));
    return int(std::clamp(threads, 1.0, double(most)));
}

int decodeThreadsAllowed()
{
    const int cores = std::max(1, int(std::thread::hardware_concurrency()));
    bool ok = false;
    const int asked = qEnvironmentVariableIntValue("PRESENTATION_HOST_DECODE_THREADS", &ok);
    return ok && asked >= 1 ? std::min(asked, cores) : cores;
}

} // namespace pa::host
