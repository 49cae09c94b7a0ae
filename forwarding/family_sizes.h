// The sizes of the four families, counted from the binding tables at compile
// time, so that adding an entry to a table changes every count with it: the
// library, the interface generator, the tests and the benchmarks all read
// them here. A slot is a table entry; an export is an entry that is not only
// tested, or a special.
#pragma once

#include <cstddef>
#include <string_view>

namespace tvc {

#define TVC_FAMILY(name, routine, file)
#define TVC_SPECIAL(export_name, result, args)
#define TVC_ENTRY(number, shape, export_name, symbol, result, args) +1
inline constexpr std::size_t array_family_slots = 0
#include "forwarding/array_family.inc"
    ;
inline constexpr std::size_t data_file_family_slots = 0
#include "forwarding/data_file_family.inc"
    ;
inline constexpr std::size_t runtime_family_slots = 0
#include "forwarding/runtime_family.inc"
    ;
inline constexpr std::size_t base_family_slots = 0
#include "forwarding/base_family.inc"
    ;
#undef TVC_ENTRY
#undef TVC_SPECIAL
inline constexpr std::size_t all_family_slots =
    array_family_slots + data_file_family_slots + runtime_family_slots + base_family_slots;

// Bound and tested, never exported.
#define TVC_SPECIAL(export_name, result, args)
#define TVC_ENTRY(number, shape, export_name, symbol, result, args) +(std::string_view(#shape) == "tested")
inline constexpr std::size_t tested_only_slots = 0
#include "forwarding/array_family.inc"
#include "forwarding/data_file_family.inc"
#include "forwarding/runtime_family.inc"
#include "forwarding/base_family.inc"
    ;
#undef TVC_ENTRY
#undef TVC_SPECIAL

// The forwarders of the export list: every slot not only tested, and every special.
#define TVC_SPECIAL(export_name, result, args) +1
#define TVC_ENTRY(number, shape, export_name, symbol, result, args)
inline constexpr std::size_t exported_forwarders = all_family_slots - tested_only_slots
#include "forwarding/array_family.inc"
#include "forwarding/data_file_family.inc"
#include "forwarding/runtime_family.inc"
#include "forwarding/base_family.inc"
    ;
#undef TVC_ENTRY
#undef TVC_SPECIAL
#undef TVC_FAMILY

}  // namespace tvc
