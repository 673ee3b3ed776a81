#include "host/com/busy_retry.h"

namespace quillmere::com {
namespace {

// COM interfaces have no virtual destructor: the object deletes itself in Release.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

class RetryFilter : public IMessageFilter {
  public:
    explicit RetryFilter(std::chrono::milliseconds bound) : m_bound(bound) {}
    virtual ~RetryFilter() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (riid == IID_IUnknown || riid == IID_IMessageFilter) {
            *out = static_cast<IMessageFilter*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(InterlockedIncrement(&m_refs)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&m_refs);
        if (left == 0) delete this;
        return ULONG(left);
    }

    // Calls into this apartment are taken as they come, as without a filter.
    DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override {
        return SERVERCALL_ISHANDLED;
    }
    // elapsed: milliseconds since the call was first made. A pause of 100 ms or more is waited
    // before the retry; -1 gives up, and the call fails with the refusal.
    DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD elapsed, DWORD rejectType) override {
        if (rejectType != SERVERCALL_RETRYLATER && rejectType != SERVERCALL_REJECTED)
            return DWORD(-1);
        if (std::chrono::milliseconds(elapsed) >= m_bound) return DWORD(-1);
        return DWORD(BusyRetry::kPause.count());
    }
    // Messages that come while a call waits are treated as without a filter.
    DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override {
        return PENDINGMSG_WAITDEFPROCESS;
    }

  private:
    LONG m_refs = 1;
    std::chrono::milliseconds m_bound;
};

#pragma GCC diagnostic pop

}  // namespace

BusyRetry::BusyRetry(std::chrono::milliseconds bound) : m_filter(new RetryFilter(bound)) {
    // Fails only outside a single-threaded apartment, where COM never asks a filter anyway.
    m_registered = SUCCEEDED(CoRegisterMessageFilter(m_filter, &m_replaced));
}

BusyRetry::~BusyRetry() {
    if (m_registered) {
        IMessageFilter* ours = nullptr;
        CoRegisterMessageFilter(m_replaced, &ours);
        if (ours) ours->Release();
    }
    if (m_replaced) m_replaced->Release();
    m_filter->Release();
}

}  // namespace quillmere::com
