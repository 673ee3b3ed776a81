#pragma once

#include <functional>
#include <stop_token>
#include <thread>

namespace quillmere {

// The one place where the program starts threads. The caller decides whether a thread may be
// used at all, so that threads never start threads: a lone run may give a large file a second
// thread, a batch worker or the read-ahead may not.

// Starts work on a thread of its own. The thread given back is not joinable when the system gives
// no thread: the caller then does the work itself, or without it.
std::jthread StartThread(std::function<void(std::stop_token)> work);

// How many threads can run at once here: the processor's cores, at least one.
int ProcessorCores();

}  // namespace quillmere
