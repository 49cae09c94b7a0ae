// libFuzzer target for the GUID text parser, built natively with the address
// and undefined-behaviour sanitizers. Each input is parsed as text; its first
// 16 bytes are also taken as a GUID that must survive formatting and parsing.
#include "registration/guid_parser.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

void check(bool holds, const char *invariant, const char *text) {
    if (holds) return;
    std::fprintf(stderr, "broken: %s\ntext: \"%s\"\n", invariant, text);
    std::abort();
}

bool same(const tvc::guid_fields &a, const tvc::guid_fields &b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool is_hex_digit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// An exactly sized heap copy, so that the address sanitizer reports any read
// past the terminating NUL.
std::unique_ptr<char[]> c_string(const std::string &s) {
    auto copy = std::make_unique<char[]>(s.size() + 1);
    std::memcpy(copy.get(), s.c_str(), s.size() + 1);
    return copy;
}

int parse(const std::string &s, tvc::guid_fields &out) {
    std::memset(&out, 0xA5, sizeof out);  // the parser must clear it
    return tvc::parse_guid_text(c_string(s).get(), &out);
}

void check_text(const std::string &text) {
    const char *shown = text.c_str();
    tvc::guid_fields parsed;
    const int complete = parse(text, parsed);
    check(complete == 0 || complete == 1, "the result is 0 or 1", shown);
    check(tvc::parse_guid_text(text.c_str(), nullptr) == 0, "a null out gives 0", shown);

    tvc::guid_fields again;
    std::memset(&again, 0x5A, sizeof again);
    check(tvc::parse_guid_text(text.c_str(), &again) == complete && same(again, parsed),
          "the result depends on the text alone", shown);

    // Digits are read between the leading braces and separators and the
    // first closing brace after them: 16 digit positions for the last group
    // at the least, as the first three groups may read nothing and share them.
    const std::size_t first = text.find_first_not_of(" -{}");
    const std::string body = first == std::string::npos ? "" : text.substr(first, text.find('}', first) - first);
    std::size_t positions = 0, hex_digits = 0;
    bool only_hex_and_separators = true;
    for (char c : body) {
        const bool separator = c == ' ' || c == '-';
        positions += !separator;
        hex_digits += is_hex_digit(c);
        only_hex_and_separators &= is_hex_digit(c) || separator;
    }
    if (complete) check(positions >= 16, "a complete GUID had 16 digit positions", shown);
    // Made of digits alone, each of the first three groups reads at least one.
    if (complete && only_hex_and_separators)
        check(hex_digits >= 19, "a complete GUID of hex text had 19 digits", shown);
    if (positions == 0)
        check(!complete && same(parsed, tvc::guid_fields{}), "no digits give 0 and a zero GUID", shown);

    // Nothing after the 32nd digit is looked at.
    if (complete) {
        tvc::guid_fields extended;
        check(parse(text + "}-0123 " + text, extended) == 1 && same(extended, parsed),
              "text after a complete GUID is ignored", shown);
    }
}

std::string registry_form(const tvc::guid_fields &g, const char *pattern) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, static_cast<unsigned>(g.data1), g.data2, g.data3,
                  g.data4[0], g.data4[1], g.data4[2], g.data4[3], g.data4[4], g.data4[5],
                  g.data4[6], g.data4[7]);
    return text;
}

// Every GUID must come back from its text, in each spelling callers use.
void check_round_trip(const tvc::guid_fields &g) {
    for (const char *pattern : {
             "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
             "{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}",
             "%08X-%04X-%04X-%02X%02X%02X%02X%02X%02X%02X%02X",
             "{ %X - %X - %X - %02X %02X-%02X-%02X%02X%02X %02X%02X }",
         }) {
        const std::string text = registry_form(g, pattern);
        tvc::guid_fields parsed;
        check(parse(text, parsed) == 1 && same(parsed, g), "a formatted GUID parses back", text.c_str());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const char *chars = reinterpret_cast<const char *>(data);
    check_text(std::string(chars, strnlen(chars, size)));

    tvc::guid_fields g = {};
    std::memcpy(&g, data, size < sizeof g ? size : sizeof g);
    check_round_trip(g);
    return 0;
}
