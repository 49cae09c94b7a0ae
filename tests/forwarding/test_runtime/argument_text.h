// How the test runtime writes an argument into its journal: a letter for the
// width it arrived at, then its value with every bit shown.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace tvc_test {

template <typename... Values>
std::string formatted(const char *format, Values... values) {
    char text[64];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

inline std::string argument_text(const void *value) {
    return formatted("p:%llx", static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(value)));
}
// Text arguments too: the tests pass addresses that are no text.
inline std::string argument_text(const char *value) { return argument_text(static_cast<const void *>(value)); }
inline std::string argument_text(std::size_t value) { return formatted("z:%llx", static_cast<unsigned long long>(value)); }
inline std::string argument_text(std::int32_t value) { return formatted("i:%d", value); }
inline std::string argument_text(std::uint16_t value) { return formatted("h:%x", value); }
inline std::string argument_text(std::uint8_t value) { return formatted("c:%x", value); }
inline std::string argument_text(double value) { return formatted("d:%a", value); }
inline std::string argument_text(char *) { return "list"; }
inline std::string argument_text(float value) { return formatted("f:%a", static_cast<double>(value)); }

}  // namespace tvc_test
