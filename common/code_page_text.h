// Narrow text in the process code page (the system's ANSI code page), the
// form every narrow string of this library's interface takes.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstring>

namespace tvc {

// Narrows text into buffer, at most size bytes, a whole character at a time
// (a surrogate pair is one character): it stops before a character that
// does not fit, so a double-byte character is never cut in half. A
// character the code page lacks becomes its default character. The NUL is
// stored when there is room for it. Returns the bytes stored, without it.
inline std::size_t narrow_into(char *buffer, std::size_t size, const wchar_t *text,
                               UINT code_page = CP_ACP) noexcept {
    std::size_t used = 0;
    for (const wchar_t *c = text; c != nullptr && *c != L'\0';) {
        const int units = IS_HIGH_SURROGATE(c[0]) && IS_LOW_SURROGATE(c[1]) ? 2 : 1;
        char piece[8];
        int length = 1;
        if (*c < 0x80) {
            piece[0] = static_cast<char>(*c);  // the same in every ANSI code page
        } else {
            length = ::WideCharToMultiByte(code_page, 0, c, units, piece, sizeof piece, nullptr, nullptr);
            if (length <= 0) {
                piece[0] = '?';
                length = 1;
            }
        }
        if (used + static_cast<std::size_t>(length) > size) break;
        std::memcpy(buffer + used, piece, static_cast<std::size_t>(length));
        used += static_cast<std::size_t>(length);
        c += units;
    }
    if (used < size) buffer[used] = '\0';
    return used;
}

}  // namespace tvc
