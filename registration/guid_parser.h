// Reads GUID text: the registry form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
// and the looser spellings callers have always been allowed to pass. Free of
// platform headers so that it also builds natively for fuzzing.
#pragma once

#include <cstdint>

namespace tvc {

// The 16 bytes of a GUID in the platform's field order; the file that hands
// them to callers checks the layout against GUID itself.
struct guid_fields {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::uint8_t data4[8];
};
static_assert(sizeof(guid_fields) == 16, "a GUID is 16 bytes");

// 1 when all 32 digits were read, else 0 (also for a null text or out). out
// is cleared first and, after a failure, keeps the groups read so far.
int parse_guid_text(const char *text, guid_fields *out) noexcept;

// The value of an ASCII hexadecimal digit, or -1; the same in every locale.
int hex_digit_value(char c) noexcept;

// Hexadecimal numbers read the way the C library's strtoul reads them in base
// 16 where unsigned long is 32 bits wide. The library's own strtoul is not
// used: its width (64 bits on a Linux host) and its handling of a sign and of
// a bare "0x" differ between C libraries, and the parser must give the same
// GUID in the DLL and in the native fuzzing build.
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
