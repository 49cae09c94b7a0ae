// The family sizes under the names the tests use, and the slots a call trace
// wraps: all but the API lock's two and the slots that are only tested.
#pragma once

#include "forwarding/family_sizes.h"

#include <cstddef>

namespace tvc_test {

inline constexpr std::size_t array_slots = tvc::array_family_slots;
inline constexpr std::size_t data_file_slots = tvc::data_file_family_slots;
inline constexpr std::size_t runtime_slots = tvc::runtime_family_slots;
inline constexpr std::size_t base_slots = tvc::base_family_slots;
inline constexpr std::size_t traced_slots = tvc::all_family_slots - tvc::tested_only_slots - 2;

}  // namespace tvc_test
