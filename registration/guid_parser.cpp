#include "registration/guid_parser.h"

#include "registration/hex_number.h"

namespace tvc {
namespace {

bool is_separator(char c) { return c == ' ' || c == '-'; }

// Moves past separators to the next digit position. A closing brace there
// means the text ended early.
bool skip_to_digit(const char *&p) {
    while (is_separator(*p)) ++p;
    return *p != '\0' && *p != '}';
}

}  // namespace

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
