#pragma once

#include <objidl.h>
#include <windows.h>

#include <chrono>

namespace quillmere::com {

// While it lives, this thread's apartment retries a call that the server refuses because it is
// busy (Project starting, or showing a dialog: RPC_E_SERVERCALL_RETRYLATER, RPC_E_CALL_REJECTED)
// every short while, for up to bound after the call was first made; after that the call fails
// with the refusal. It is a COM message filter: COM asks it whether to retry a refused call. The
// filter it replaces is put back when it goes, so the lifetimes on one thread should nest.
//
// wine 8 never asks a client's filter: a server's SERVERCALL_RETRYLATER is run as though handled,
// and its SERVERCALL_REJECTED fails the call at once with RPC_E_CALL_REJECTED.
class BusyRetry {
  public:
    explicit BusyRetry(std::chrono::milliseconds bound);
    ~BusyRetry();
    BusyRetry(const BusyRetry&) = delete;
    BusyRetry& operator=(const BusyRetry&) = delete;

    // How long a refused call waits before it is tried again.
    static constexpr std::chrono::milliseconds kPause{250};

  private:
    IMessageFilter* m_filter = nullptr;
    IMessageFilter* m_replaced = nullptr;
    bool m_registered = false;
};

}  // namespace quillmere::com
