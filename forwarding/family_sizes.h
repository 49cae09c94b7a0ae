// What the binding tables say about the families as a whole, counted at
// compile time from forwarding/families.inc, so that adding an entry or a
// family changes every figure with it: the library, the interface
// generator, the tests and the benchmarks all read them here. A slot is a
// table entry; an export is an entry that is not only tested, or a special.
#pragma once

#include <cstddef>
#include <string_view>

namespace tvc {

struct family_facts {
    std::string_view name;  // the tables' family name: "array", ...
    std::string_view file;  // the runtime library it is bound from
    std::size_t slots;
};

namespace detail {
// A row starts at its family's TVC_FAMILY line and counts the entries after
// it; the row in front only gives the first line something to close.
#define TVC_FAMILY(name, routine, file) }, {#name, file, 0
#define TVC_ENTRY(shape, export_name, symbol, result, args) +1
#define TVC_SPECIAL(export_name, result, args)
inline constexpr family_facts family_rows[] = {{"", "", 0
#include "forwarding/families.inc"
}};
#undef TVC_FAMILY
#undef TVC_ENTRY
#undef TVC_SPECIAL
}  // namespace detail

// The families in binding order.
inline constexpr std::size_t family_count = std::size(detail::family_rows) - 1;
inline constexpr const family_facts *families = detail::family_rows + 1;

constexpr const family_facts &family_named(std::string_view name) {
    for (std::size_t index = 0; index < family_count; ++index) {
        if (families[index].name == name) return families[index];
    }
    throw "no family of that name";  // at compile time: not a constant expression
}

inline constexpr std::size_t array_family_slots = family_named("array").slots;
inline constexpr std::size_t data_file_family_slots = family_named("data_file").slots;
inline constexpr std::size_t runtime_family_slots = family_named("runtime").slots;
inline constexpr std::size_t base_family_slots = family_named("base").slots;

constexpr std::size_t sum_of_family_slots() {
    std::size_t sum = 0;
    for (std::size_t index = 0; index < family_count; ++index) sum += families[index].slots;
    return sum;
}
inline constexpr std::size_t all_family_slots = sum_of_family_slots();

#define TVC_FAMILY(name, routine, file)
// Bound and tested, never exported.
#define TVC_SPECIAL(export_name, result, args)
#define TVC_ENTRY(shape, export_name, symbol, result, args) +(std::string_view(#shape) == "tested")
inline constexpr std::size_t tested_only_slots = 0
#include "forwarding/families.inc"
    ;
#undef TVC_ENTRY
#undef TVC_SPECIAL

// The forwarders of the export list: every slot not only tested, and every special.
#define TVC_SPECIAL(export_name, result, args) +1
#define TVC_ENTRY(shape, export_name, symbol, result, args)
inline constexpr std::size_t exported_forwarders = all_family_slots - tested_only_slots
#include "forwarding/families.inc"
    ;
#undef TVC_ENTRY
#undef TVC_SPECIAL
#undef TVC_FAMILY

}  // namespace tvc
