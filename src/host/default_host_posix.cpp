#include "host/builtin/builtin_host.h"
#include "host/host.h"

namespace quillmere {

std::unique_ptr<HostFactory> MakeDefaultHostFactory(std::chrono::seconds, WaitShown) {
    return std::make_unique<builtin::BuiltinHostFactory>();
}

}  // namespace quillmere
