// A busy PowerPoint is waited for a bounded time, then the call fails. (COM itself does the
// waiting through the filter; wine's COM does not retry rejected calls, so the filter's answers
// are checked here directly.)

#include "presentation_automation/powerpoint/com_apartment.h"
#include "presentation_automation/powerpoint/tests/check.h"

using pa::powerpoint::BusyRetryFilter;

TEST_CASE("busy", rejectedCallsAreRetriedUntilTheBound)
{
    const DWORD giveUp = static_cast<DWORD>(-1);
    for (const DWORD reject : {DWORD(SERVERCALL_RETRYLATER), DWORD(SERVERCALL_REJECTED)}) {
        CHECK_EQ(BusyRetryFilter::retryDecision(0, reject, 5000), BusyRetryFilter::retryDelayMs);
        CHECK_EQ(BusyRetryFilter::retryDecision(4999, reject, 5000), BusyRetryFilter::retryDelayMs);
        CHECK_EQ(BusyRetryFilter::retryDecision(5000, reject, 5000), giveUp);
        CHECK_EQ(BusyRetryFilter::retryDecision(60000, reject, 5000), giveUp);
    }
    CHECK(BusyRetryFilter::retryDelayMs > 0 && BusyRetryFilter::retryDelayMs < 1000);
    CHECK(BusyRetryFilter::defaultBoundMs >= 2000 && BusyRetryFilter::defaultBoundMs <= 10000);
}

TEST_CASE("busy", filterIsInstalledOnTheCallingThread)
{
    pa::powerpoint::ensureComReady();
    pa::powerpoint::ensureComReady();
    CHECK(pa::powerpoint::busyRetryFilterInstalled());
    // Ours answers for the thread now: it gives up on a call rejected long enough ago.
    IMessageFilter *current = nullptr;
    auto *probe = new BusyRetryFilter(1);
    CHECK(SUCCEEDED(CoRegisterMessageFilter(probe, &current)));
    CHECK(current != nullptr);
    CHECK_EQ(current->RetryRejectedCall(nullptr, 0, SERVERCALL_RETRYLATER),
             BusyRetryFilter::retryDelayMs);
    CHECK_EQ(
        current->RetryRejectedCall(nullptr, BusyRetryFilter::defaultBoundMs, SERVERCALL_RETRYLATER),
        static_cast<DWORD>(-1));
    // Put ours back.
    IMessageFilter *probeBack = nullptr;
    CoRegisterMessageFilter(current, &probeBack);
    current->Release();
    probeBack->Release();
    probe->Release();
}
