// A forwarder seen from a test: its table entry, its slot, and a call with
// arguments the test chooses (forwarder_cases.inc makes one per entry).
#pragma once

#include "forwarding/forwarding_slots.h"
#include "tests/forwarding/test_runtime/argument_text.h"
#include "tvcvrtrt7_17.h"

#include <array>
#include <initializer_list>
#include <cstring>
#include <string>
#include <type_traits>

namespace tvc_test {

using result_bytes_t = std::array<unsigned char, 16>;

// The result's bytes, zero beyond its size or without a result.
template <typename Call> result_bytes_t result_bytes(Call call) {
    using result = decltype(call());
    result_bytes_t bytes{};
    if constexpr (std::is_void_v<result>) {
        call();
    } else {
        const result value = call();
        std::memcpy(bytes.data(), &value, sizeof value);
    }
    return bytes;
}

struct forwarder_case {
    int number;  // in its family's table; 1 starts the next family
    std::string shape;
    std::string export_name;
    std::string symbol;
    std::string result;     // its letter
    std::string arguments;  // "(p, i, ...)"
    const void *(*slot)();
    result_bytes_t (*call)();  // null for a slot that no export calls
    std::string (*argument_texts)();
};

inline std::string joined(std::initializer_list<std::string> texts) {
    std::string text;
    for (const std::string &part : texts) text += (text.empty() ? "" : ", ") + part;
    return text;
}

inline constexpr const char *family_names[] = {"array", "data_file", "runtime", "base"};

}  // namespace tvc_test
