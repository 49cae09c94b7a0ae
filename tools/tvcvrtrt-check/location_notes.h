// What a user could not tell from the runtime paths alone: why a path fell
// back, and what a folder name outside the code page did.
#pragma once

#include "loading/runtime_paths.h"
#include "tools/tvcvrtrt-check/runtime_check.h"

namespace tvc_check {

// Appends to check.notes; reads check.location_error.
void add_location_notes(runtime_check &check, const tvc::runtime_paths_t &paths);

}  // namespace tvc_check
