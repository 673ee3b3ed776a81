#pragma once

#include <cstdio>

namespace quillmere {

// True when the stream goes to a terminal, where a person reads it as it is written; false for
// a file or a pipe.
bool IsTerminal(std::FILE* stream);

}  // namespace quillmere
