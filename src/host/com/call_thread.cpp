#include "host/com/call_thread.h"

#include "host/com/busy_retry.h"
#include "host/com/com_error.h"
#include "platform/threads.h"

#include <objbase.h>

#include <atomic>
#include <exception>

namespace quillmere::com {

struct CallThread::State {
    State() {
        InitializeCriticalSection(&lock);
        ready = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    ~State() {
        CloseHandle(ready);
        CloseHandle(stop);
        DeleteCriticalSection(&lock);
    }
    // Held by the thread while it runs a task, except inside its outgoing calls: whoever holds
    // it knows that the thread is either in a call or between tasks.
    CRITICAL_SECTION lock;
    bool inTask = false;
    bool inCall = false;
    std::atomic<bool> abandoned = false;
    HANDLE ready = nullptr;  // the thread's message queue exists
    HANDLE stop = nullptr;   // set when a call is abandoned
    DWORD threadId = 0;
};

namespace {

const UINT kRunTask = WM_APP + 1;

thread_local CallThread::State* t_state = nullptr;  // on a call thread, its own state

struct Job {
    const std::function<void()>* task;
    std::exception_ptr error;
    HANDLE done;
};

// Waits for either handle; a waiting single-threaded apartment goes on serving its messages,
// as it would while blocked in a COM call itself. Returns the index of the one that was set.
DWORD WaitForEither(HANDLE first, HANDLE second) {
    HANDLE handles[] = {first, second};
    DWORD index = 0;
    const HRESULT hr = CoWaitForMultipleHandles(0, INFINITE, 2, handles, &index);
    if (SUCCEEDED(hr)) return index;
    return WaitForMultipleObjects(2, handles, FALSE, INFINITE) - WAIT_OBJECT_0;
}

}  // namespace

CallThread::CallThread(std::chrono::milliseconds busyBound) : m_state(new State) {
    State* state = m_state;
    m_thread = StartThread([state, busyBound](std::stop_token) { Main(state, busyBound); });
    if (!m_thread.joinable()) {
        delete m_state;
        ThrowHresult(E_OUTOFMEMORY, L"no thread could be started for Project's calls");
    }
    WaitForSingleObject(m_state->ready, INFINITE);
}

CallThread::~CallThread() {
    if (m_state->abandoned) {
        // The thread still waits in its call, and stays parked when the call returns; the state
        // stays for it.
        m_thread.detach();
        return;
    }
    PostThreadMessageW(m_state->threadId, WM_QUIT, 0, 0);
    m_thread.join();
    delete m_state;
}

void CallThread::Main(State* state, std::chrono::milliseconds busyBound) {
    t_state = state;
    state->threadId = GetCurrentThreadId();
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    Serve(state, busyBound);
    if (SUCCEEDED(hr)) CoUninitialize();
}

// Runs the tasks handed over until the thread is told to quit; refused calls are tried again
// meanwhile, and the filter goes while the apartment still lives.
void CallThread::Serve(State* state, std::chrono::milliseconds busyBound) {
    const BusyRetry busyRetry(busyBound);
    MSG message;
    PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);  // makes the queue
    SetEvent(state->ready);
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.hwnd || message.message != kRunTask) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
            continue;
        }
        Job* job = reinterpret_cast<Job*>(message.lParam);
        EnterCriticalSection(&state->lock);
        state->inTask = true;
        try {
            (*job->task)();
        } catch (...) {
            job->error = std::current_exception();
        }
        state->inTask = false;
        LeaveCriticalSection(&state->lock);
        SetEvent(job->done);
    }
}

void CallThread::runTask(const std::function<void()>& task) {
    if (m_state->abandoned) ThrowHresult(RPC_E_CALL_CANCELED, L"an abandoned call");
    Job job{&task, nullptr, CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    if (!job.done) ThrowHresult(HRESULT_FROM_WIN32(GetLastError()), L"CreateEvent");
    if (!PostThreadMessageW(m_state->threadId, kRunTask, 0, reinterpret_cast<LPARAM>(&job))) {
        const DWORD error = GetLastError();
        CloseHandle(job.done);
        ThrowHresult(HRESULT_FROM_WIN32(error), L"PostThreadMessage");
    }
    const DWORD which = WaitForEither(job.done, m_state->stop);
    CloseHandle(job.done);
    // Abandoned: the thread never touches job again, since it ends when its call returns.
    if (which != 0) ThrowHresult(RPC_E_CALL_CANCELED, L"an abandoned call");
    if (job.error) std::rethrow_exception(job.error);
}

bool CallThread::abandonCall() {
    // Between two calls of a task the thread holds the lock, and soon lets go of it again.
    for (int i = 0; i < 200; ++i) {
        if (TryEnterCriticalSection(&m_state->lock)) {
            const bool inCall = m_state->inCall;
            if (inCall) m_state->abandoned = true;
            LeaveCriticalSection(&m_state->lock);
            if (inCall) SetEvent(m_state->stop);
            return inCall;
        }
        Sleep(10);
    }
    return false;
}

bool CallThread::abandoned() const {
    return m_state->abandoned;
}

void CallThread::BeforeCall() {
    State* state = t_state;
    if (!state || !state->inTask) return;
    state->inCall = true;
    LeaveCriticalSection(&state->lock);
}

void CallThread::AfterCall() {
    State* state = t_state;
    if (!state || !state->inTask) return;
    EnterCriticalSection(&state->lock);
    if (state->abandoned) {
        // Never back into the step whose caller has gone on: the thread stays here, holding
        // what it held, until the program ends.
        LeaveCriticalSection(&state->lock);
        for (;;) Sleep(INFINITE);
    }
    state->inCall = false;
}

}  // namespace quillmere::com
