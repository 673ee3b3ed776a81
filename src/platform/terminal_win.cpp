#include "platform/terminal.h"

#include <io.h>

namespace quillmere {

bool IsTerminal(std::FILE* stream) {
    return _isatty(_fileno(stream)) != 0;
}

}  // namespace quillmere
