// A forwarder seen from a test: its table entry, its slot, and a call with
// arguments the test chooses (forwarder_cases.inc makes one per entry).
#pragma once

#include "forwarding/family_sizes.h"
#include "forwarding/forwarding_slots.h"
#include "tests/forwarding/test_runtime/argument_text.h"
#include "tvcvrtrt7_17.h"

#include <array>
#include <cstddef>
#include <initializer_list>
#include <cstdint>
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

// The family (its index in tvc::families) of the case at the given index:
// the cases follow the tables in binding order.
constexpr std::size_t family_of_case(std::size_t index) {
    std::size_t family = 0;
    while (family + 1 < tvc::family_count && index >= tvc::families[family].slots) {
        index -= tvc::families[family++].slots;
    }
    return family;
}

// Stands in for a runtime function with more arguments than registers.
inline double ten_mixed(std::int64_t a, double b, std::int32_t c, float d, std::int64_t e, double f, std::int16_t g,
                        float h, std::int64_t i, double j) {
    return static_cast<double>(a) + b + c + d + static_cast<double>(e) + f + g + h + static_cast<double>(i) +
           j * 1000;
}

// Whether ten mixed arguments reach ten_mixed, bound in tvcRunMain's slot,
// through the direct forwarder tvcRunMain_proxy unchanged. prepare() runs
// once ten_mixed is bound (to put a tracing entry in front, say); the slot
// gets its address back afterwards.
template <typename Prepare> bool ten_mixed_arguments_arrive(Prepare prepare) {
    using ten_arguments = double (*)(std::int64_t, double, std::int32_t, float, std::int64_t, double, std::int16_t,
                                     float, std::int64_t, double);
    // Through void (*)(), which converts to and from every function pointer.
    using slot_type = decltype(TVC_SLOT(tvcRunMain));
    const slot_type bound = TVC_SLOT(tvcRunMain);
    TVC_SLOT(tvcRunMain) = reinterpret_cast<slot_type>(reinterpret_cast<void (*)()>(&ten_mixed));
    prepare();
    const auto forwarder = reinterpret_cast<ten_arguments>(reinterpret_cast<void (*)()>(&tvcRunMain_proxy));
    const double through = forwarder(1, 0.5, -3, 0.25f, 1ll << 40, 1e-3, -7, 8.5f, -(1ll << 33), 0.125);
    TVC_SLOT(tvcRunMain) = bound;
    return through == ten_mixed(1, 0.5, -3, 0.25f, 1ll << 40, 1e-3, -7, 8.5f, -(1ll << 33), 0.125);
}

}  // namespace tvc_test
