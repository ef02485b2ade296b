#include "presentation_automation/powerpoint/com_apartment.h"

#include "presentation_automation/automation.h"
#include "presentation_automation/call_wait.h"
#include "presentation_automation/powerpoint/dispatch.h"

namespace pa::powerpoint {

BusyRetryFilter::BusyRetryFilter(DWORD boundMs) : m_boundMs(boundMs) {}

DWORD BusyRetryFilter::retryDecision(DWORD elapsedMs, DWORD rejectType, DWORD boundMs)
{
    const bool busy = rejectType == SERVERCALL_RETRYLATER || rejectType == SERVERCALL_REJECTED;
    if (!busy || elapsedMs >= boundMs) {
        return static_cast<DWORD>(-1);
    }
    return retryDelayMs;
}

HRESULT STDMETHODCALLTYPE BusyRetryFilter::QueryInterface(REFIID riid, void **object)
{
    if (!object) {
        return E_POINTER;
    }
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMessageFilter)) {
        *object = static_cast<IMessageFilter *>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE BusyRetryFilter::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&m_refs));
}

ULONG STDMETHODCALLTYPE BusyRetryFilter::Release()
{
    const LONG refs = InterlockedDecrement(&m_refs);
    if (refs == 0) {
        delete this;
    }
    return static_cast<ULONG>(refs);
}

DWORD STDMETHODCALLTYPE BusyRetryFilter::HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO)
{
    return SERVERCALL_ISHANDLED;
}

DWORD STDMETHODCALLTYPE BusyRetryFilter::RetryRejectedCall(HTASK, DWORD tickCount, DWORD rejectType)
{
    return retryDecision(tickCount, rejectType, m_boundMs);
}

DWORD STDMETHODCALLTYPE BusyRetryFilter::MessagePending(HTASK, DWORD, DWORD)
{
    // Let COM's modal loop repaint the windows but hold input until the call returns; the
    // program may only show that it is busy here, as the call is still under way.
    pa::whileWaiting(false);
    return PENDINGMSG_WAITDEFPROCESS;
}

namespace {

struct ThreadCom
{
    bool ready = false;
    bool filterInstalled = false;
};

thread_local ThreadCom threadCom;

} // namespace

void ensureComReady()
{
    if (threadCom.ready) {
        return;
    }
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (hr == RPC_E_CHANGED_MODE) {
        // Already multithreaded: COM works, but message filters exist only in single-threaded
        // apartments.
        threadCom.ready = true;
        return;
    }
    if (FAILED(hr)) {
        throwComError(hr, nullptr, applicationProgId);
    }
    threadCom.ready = true;

    auto *filter = new BusyRetryFilter();
    IMessageFilter *previous = nullptr;
    if (SUCCEEDED(CoRegisterMessageFilter(filter, &previous))) {
        threadCom.filterInstalled = true;
        if (previous) {
            previous->Release();
        }
    }
    // COM holds its own reference while registered.
    filter->Release();
}

bool busyRetryFilterInstalled()
{
    return threadCom.filterInstalled;
}

} // namespace pa::powerpoint
