#pragma once

#include <cstddef>
#include <cstdint>

namespace quillmere::fuzz {

// Opens the input with the built-in host, replaces awkward texts in several fields under both
// Match Case settings, saves, and aborts when one of the host's promises breaks.
void CheckHostOn(const uint8_t* data, size_t size);

}  // namespace quillmere::fuzz
