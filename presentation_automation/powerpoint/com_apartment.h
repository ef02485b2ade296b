#pragma once

// COM on the calling (user-interface) thread, and the message filter that waits out a busy
// PowerPoint instead of failing at once.

#include "presentation_automation/powerpoint/win32.h"

namespace pa::powerpoint {

// Retries calls that a busy server rejects (a modal dialog open in PowerPoint answers
// SERVERCALL_RETRYLATER) every retryDelayMs until boundMs have passed since the call was made;
// then the call fails with RPC_E_CALL_REJECTED, which the caller reports as an error.
class BusyRetryFilter : public IMessageFilter
{
public:
    static constexpr DWORD defaultBoundMs = 5000;
    static constexpr DWORD retryDelayMs = 100;

    explicit BusyRetryFilter(DWORD boundMs = defaultBoundMs);
    virtual ~BusyRetryFilter() = default;

    // What RetryRejectedCall answers: a delay in ms, or (DWORD)-1 to give up.
    static DWORD retryDecision(DWORD elapsedMs, DWORD rejectType, DWORD boundMs);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD callType, HTASK caller, DWORD tickCount,
                                               LPINTERFACEINFO info) override;
    DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK callee, DWORD tickCount,
                                              DWORD rejectType) override;
    DWORD STDMETHODCALLTYPE MessagePending(HTASK callee, DWORD tickCount,
                                           DWORD pendingType) override;

private:
    LONG m_refs = 1;
    DWORD m_boundMs;
};

// Initialises COM apartment-threaded on the calling thread once (a thread that is already in an
// apartment keeps it) and installs BusyRetryFilter there. COM stays initialised until the
// process ends, since application handles may live until then. Throws AutomationError when COM
// cannot be initialised.
void ensureComReady();

// Whether ensureComReady installed the message filter on this thread (not possible in a
// multithreaded apartment).
bool busyRetryFilterInstalled();

} // namespace pa::powerpoint
