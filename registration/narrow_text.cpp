#include "registration/narrow_text.h"

#include <cstdlib>

namespace tvc {

std::size_t narrow_text_into(char *buffer, int size, const wchar_t *text) noexcept {
    // A negative size would widen to an unlimited one.
    if (!buffer || size < 0) return 0;
    if (!text) {
        if (size > 0) buffer[0] = '\0';
        return 0;
    }
    return std::wcstombs(buffer, text, static_cast<std::size_t>(size));
}

}  // namespace tvc
