// What each variable the library reads did to the location, or why it did
// nothing, and what the library does to PATH.
#pragma once

#include "loading/runtime_location.h"
#include "tools/tvcvrtrt-check/runtime_check.h"

namespace tvc_check {

// Fills check.environment, check.paths and check.location_error.
void describe_environment(runtime_check &check, const tvc::location_inputs &inputs,
                          const tvc::runtime_location &location);

}  // namespace tvc_check
