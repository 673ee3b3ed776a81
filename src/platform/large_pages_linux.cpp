#include "platform/large_pages.h"

#include <sys/mman.h>

#include <cstdint>

namespace quillmere {

void PreferLargePages(const void* data, qsizetype bytes) {
    constexpr std::uintptr_t page = std::uintptr_t(2) << 20;
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (start + page - 1) & ~(page - 1);
    const std::uintptr_t end = (start + std::uintptr_t(bytes)) & ~(page - 1);
    // Only advice: a kernel without transparent huge pages refuses it, and the buffer works as
    // before.
    if (end > first) ::madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
}

}  // namespace quillmere
