// How many slots each binding table holds, counted from the tables, so that
// no test spells them out again.
#pragma once

#include <cstddef>

namespace tvc_test {

#define TVC_FAMILY(name, routine, file)
#define TVC_SPECIAL(export_name, result, args)
#define TVC_ENTRY(number, shape, export_name, symbol, result, args) +1
inline constexpr std::size_t array_slots = 0
#include "forwarding/array_family.inc"
    ;
inline constexpr std::size_t data_file_slots = 0
#include "forwarding/data_file_family.inc"
    ;
inline constexpr std::size_t runtime_slots = 0
#include "forwarding/runtime_family.inc"
    ;
inline constexpr std::size_t base_slots = 0
#include "forwarding/base_family.inc"
    ;
#undef TVC_ENTRY
constexpr bool same_text(const char *left, const char *right) {
    while (*left != '\0' && *left == *right) ++left, ++right;
    return *left == *right;
}
#define TVC_ENTRY(number, shape, export_name, symbol, result, args) +same_text(#shape, "tested")
inline constexpr std::size_t tested_only_slots = 0
#include "forwarding/array_family.inc"
#include "forwarding/data_file_family.inc"
#include "forwarding/runtime_family.inc"
#include "forwarding/base_family.inc"
    ;
#undef TVC_ENTRY
#undef TVC_SPECIAL
#undef TVC_FAMILY

inline constexpr std::size_t all_slots = array_slots + data_file_slots + runtime_slots + base_slots;
// A call trace wraps every slot but the API lock's two and the tested-only ones.
inline constexpr std::size_t traced_slots = all_slots - 2 - tested_only_slots;

}  // namespace tvc_test
