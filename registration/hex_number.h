// Hexadecimal numbers read the way the C library's strtoul reads them in base
// 16 where unsigned long is 32 bits wide. The library's own strtoul is not
// used: its width (64 bits on a Linux host) and its handling of a sign and of
// a bare "0x" differ between C libraries, and the GUID text parser must give
// the same GUID in the DLL and in the native fuzzing build.
#pragma once

#include <cstdint>

namespace tvc {

struct hex_number {
    // FFFFFFFF when the magnitude does not fit in 32 bits; a minus sign
    // negates modulo 2^32 otherwise.
    std::uint32_t value;
    // Past the last digit; the text itself when there is no digit to read.
    const char *end;
};

// Skips leading white space, accepts one sign and a 0x or 0X prefix.
hex_number read_hex_number(const char *text) noexcept;

}  // namespace tvc
