#include "registration/guid_parser.h"

namespace tvc {
namespace {

// isspace in the "C" locale, without its dependence on the current locale.
bool is_white_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool is_separator(char c) { return c == ' ' || c == '-'; }

// Moves past separators to the next digit position. A closing brace there
// means the text ended early.
bool skip_to_digit(const char *&p) {
    while (is_separator(*p)) ++p;
    return *p != '\0' && *p != '}';
}

}  // namespace

int hex_digit_value(char c) noexcept {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

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

int parse_guid_text(const char *text, guid_fields *out) noexcept {
    if (!out) return 0;
    *out = guid_fields{};
    if (!text) return 0;

    const char *p = text;
    while (*p == ' ' || *p == '{' || *p == '}' || *p == '-') ++p;
    if (*p == '\0') return 0;

    // The first three groups are numbers of any length, so each needs a
    // separator after it.
    hex_number number = read_hex_number(p);
    out->data1 = number.value;
    p = number.end;
    if (!skip_to_digit(p)) return 0;
    number = read_hex_number(p);
    out->data2 = static_cast<std::uint16_t>(number.value);
    p = number.end;
    if (!skip_to_digit(p)) return 0;
    number = read_hex_number(p);
    out->data3 = static_cast<std::uint16_t>(number.value);
    p = number.end;

    // The last 16 digits are read in pairs, one character per digit, so
    // separators may stand anywhere between them.
    for (std::uint8_t &byte : out->data4) {
        char pair[3] = {};
        if (!skip_to_digit(p)) return 0;
        pair[0] = *p++;
        if (!skip_to_digit(p)) return 0;
        pair[1] = *p++;
        byte = static_cast<std::uint8_t>(read_hex_number(pair).value);
    }
    return 1;
}

}  // namespace tvc
