#include "platform/threads.h"

#include <algorithm>
#include <system_error>

namespace quillmere {

bool StartThread(std::jthread& thread, std::function<void(std::stop_token)> work) {
    try {
        thread = std::jthread(std::move(work));
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

int ProcessorCores() {
    return int(std::max(1u, std::thread::hardware_concurrency()));
}

}  // namespace quillmere
