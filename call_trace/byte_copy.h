// Copies of a few to a thousand bytes, inline: the C runtime's memcpy is a
// call into another library that costs more than copying a trace line.
#pragma once

#include <emmintrin.h>

#include <cstddef>

namespace tvc::trace {

// Stores only into [to, to + size): the bytes around may be another
// thread's line.
inline void copy_bytes(char *to, const char *from, std::size_t size) noexcept {
    if (size >= 16) {
        for (std::size_t at = 0; at + 16 < size; at += 16) {
            _mm_storeu_si128(reinterpret_cast<__m128i *>(to + at),
                             _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + at)));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i *>(to + size - 16),
                         _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + size - 16)));
    } else if (size >= 8) {
        __builtin_memcpy(to, from, 8);
        __builtin_memcpy(to + size - 8, from + size - 8, 8);
    } else if (size >= 4) {
        __builtin_memcpy(to, from, 4);
        __builtin_memcpy(to + size - 4, from + size - 4, 4);
    } else if (size > 0) {
        to[0] = from[0];
        to[size / 2] = from[size / 2];
        to[size - 1] = from[size - 1];
    }
}

}  // namespace tvc::trace
