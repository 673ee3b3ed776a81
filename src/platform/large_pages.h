#pragma once

#include <QtGlobal>

namespace quillmere {

// Asks the system to back a large buffer that is about to be written (a file's bytes, the texts
// read from it) with large memory pages where it offers them: the kernel then fills it with one
// fault per 2 MiB instead of one per 4 KiB, which for a file of tens of megabytes saves about a
// tenth of its reading. Only the whole large pages within the buffer are asked for, so a buffer
// below 2 MiB, or a system without them, is left as it is. large_pages_linux.cpp or
// large_pages_other.cpp, chosen by CMake.
void PreferLargePages(const void* data, qsizetype bytes);

}  // namespace quillmere
