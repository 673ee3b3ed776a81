#include "platform/threads.h"

#include <algorithm>
#include <system_error>

namespace quillmere {

std::jthread StartThread(std::function<void(std::stop_token)> work) {
    try {
        return std::jthread(std::move(work));
    } catch (const std::system_error&) {
        return {};
    }
}

int ProcessorCores() {
    return int(std::max(1u, std::thread::hardware_concurrency()));
}

}  // namespace quillmere
