// libFuzzer target: MPX through the built-in host.
#include "host_harness.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Anything without the MPX header is the Project XML target's.
    if (size < 3 || std::memcmp(data, "MPX", 3) != 0) return -1;
    quillmere::fuzz::CheckHostOn(data, size);
    return 0;
}
