#pragma once

// How a backend lets the program's windows live while it waits on the presentation
// application: it calls whileWaiting() over and over during a wait. What happens then is
// the program's business (it installs the hook); without a hook nothing does.

#include <atomic>

namespace pa {

// mayDispatch: the backend's thread may run the program's event loop for a moment here;
// false where the wait sits inside a foreign modal loop that only allows lighter work.
using WaitHook = void (*)(bool mayDispatch);

inline std::atomic<WaitHook> &waitHook()
{
    static std::atomic<WaitHook> hook{nullptr};
    return hook;
}

inline void whileWaiting(bool mayDispatch = true)
{
    if (const WaitHook hook = waitHook().load()) {
        hook(mayDispatch);
    }
}

} // namespace pa
