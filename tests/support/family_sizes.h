// Counted from the binding tables: the slots of each family, and those a call
// trace wraps (all but the API lock's two and the slots that are only tested).
#pragma once

#include <cstddef>
#include <string_view>

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
#define TVC_ENTRY(number, shape, export_name, symbol, result, args) +(std::string_view(#shape) != "tested")
inline constexpr std::size_t traced_slots = -2
#include "forwarding/array_family.inc"
#include "forwarding/data_file_family.inc"
#include "forwarding/runtime_family.inc"
#include "forwarding/base_family.inc"
    ;
#undef TVC_ENTRY
#undef TVC_SPECIAL
#undef TVC_FAMILY

}  // namespace tvc_test
