#pragma once

// Making a call of the recording presentation application slow, as a backend waiting on a
// busy application is: the thread is held in short slices, between which the program may
// keep its windows alive (pa::whileWaiting). Counts how deeply calls nest, which is never
// more than one when no handler runs inside another.

#include "presentation_automation/call_wait.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace platform::testing {

inline void waitLikeABackend(std::chrono::milliseconds duration)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + duration;
    while (Clock::now() < end) {
        std::this_thread::sleep_for(
            std::min<Clock::duration>(std::chrono::milliseconds(10), end - Clock::now()));
        pa::whileWaiting();
    }
}

struct SlowCalls
{
    // Which recorded calls are slow (by default none).
    std::function<bool(const std::string &call)> isSlow = [](const std::string &) { return false; };
    // Runs at the start of every slow call, before the wait.
    std::function<void()> onSlowStart;
    std::chrono::milliseconds duration{1000};
    int depth = 0;
    int deepest = 0;
    int slowCalls = 0;
    bool inSlowCall = false;

    // The hook for RecordingAutomation::setOnCall.
    std::function<void(const std::string &)> hook()
    {
        return [this](const std::string &call) {
            ++depth;
            deepest = std::max(deepest, depth);
            if (isSlow(call)) {
                ++slowCalls;
                inSlowCall = true;
                if (onSlowStart) {
                    onSlowStart();
                }
                waitLikeABackend(duration);
                inSlowCall = false;
            }
            --depth;
        };
    }
};

} // namespace platform::testing
