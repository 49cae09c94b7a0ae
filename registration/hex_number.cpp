#include "registration/hex_number.h"

namespace tvc {
namespace {

// isspace in the "C" locale, without its dependence on the current locale.
bool is_white_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

int hex_digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

hex_number read_hex_number(const char *text) noexcept {
    const char *p = text;
    while (is_white_space(*p)) ++p;
    const bool negative = *p == '-';
    if (*p == '+' || *p == '-') ++p;
    // "0x" not followed by a digit is the number 0 followed by an 'x'.
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && hex_digit_value(p[2]) >= 0) p += 2;
    if (hex_digit_value(*p) < 0) return {0, text};

    std::uint32_t magnitude = 0;
    bool overflow = false;
    for (int digit; (digit = hex_digit_value(*p)) >= 0; ++p) {
        if (magnitude > (UINT32_MAX >> 4)) {
            overflow = true;  // keep going: the number ends after its last digit
        } else {
            magnitude = magnitude << 4 | static_cast<std::uint32_t>(digit);
        }
    }
    if (overflow) return {UINT32_MAX, p};
    return {negative ? 0u - magnitude : magnitude, p};
}

}  // namespace tvc
