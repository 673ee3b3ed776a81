#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>
#include <thread>
#include <type_traits>
#include <utility>

namespace quillmere::com {

// A thread with a single-threaded apartment of its own, on which every automation call to one
// instance is made; the caller waits for each task it hands over. A call that never returns
// (Project waits on a prompt, in an instance that may not be ended) can then be abandoned: the
// caller stops waiting and goes on, and the thread is left blocked in that call.
//
// Why a thread: a blocked COM call holds the thread that made it until the server answers.
// Windows can cancel such a call from another thread (CoEnableCallCancellation on the calling
// thread, CoCancelCall from another, and the call returns RPC_E_CALL_CANCELED), but wine 8,
// which the tests run under, accepts CoEnableCallCancellation and has no CoCancelCall: a call to
// it stops the process as an unimplemented function. A thread that is left behind works the same
// everywhere.
//
// When an abandoned call returns after all, the thread parks for good on the spot, before control
// goes back to the code that made the call: that code belongs to a step whose caller has gone
// on, and the objects it refers to may be gone too. What the thread held is left as it is.
//
// The thread's apartment retries a call that a busy Project refuses, for up to busyBound.
class CallThread {
  public:
    explicit CallThread(std::chrono::milliseconds busyBound);
    // Ends the thread, unless a call was abandoned: then the thread is left where it is.
    ~CallThread();
    CallThread(const CallThread&) = delete;
    CallThread& operator=(const CallThread&) = delete;

    // Runs task on the thread and waits for it; throws what task throws. Throws ComError
    // (RPC_E_CALL_CANCELED) when the call the task was blocked in is abandoned, or was before.
    template <typename Task>
    auto run(Task&& task) -> decltype(task());

    // From any thread: when the thread is blocked in an outgoing call, gives that call up and
    // wakes the caller that waits in run; false when the thread is not in a call (it finished
    // its task, or did not reach a call within two seconds).
    bool abandonCall();
    bool abandoned() const;

    // Around every outgoing call that a call thread makes; nothing on other threads. After a
    // call that was abandoned, AfterCall ends the thread without returning.
    static void BeforeCall();
    static void AfterCall();

    struct State;

  private:
    void runTask(const std::function<void()>& task);
    static void Main(State* state, std::chrono::milliseconds busyBound);
    static void Serve(State* state, std::chrono::milliseconds busyBound);

    State* m_state;
    std::jthread m_thread;
};

template <typename Task>
auto CallThread::run(Task&& task) -> decltype(task()) {
    using Result = decltype(task());
    if constexpr (std::is_void_v<Result>) {
        runTask([&] { task(); });
    } else {
        std::optional<Result> result;
        runTask([&] { result.emplace(task()); });
        return std::move(*result);
    }
}

}  // namespace quillmere::com
