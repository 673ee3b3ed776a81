#include "platform/large_pages.h"

namespace quillmere {

void PreferLargePages(const void*, qsizetype) {}

}  // namespace quillmere
