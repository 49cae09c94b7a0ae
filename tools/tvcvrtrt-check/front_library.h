// The tvcvrtrt7_17.dll beside this program. The command is built from the
// library's sources and lies beside it, so its own module stands for the
// library's: the paths come out as the library computes them at attach.
#pragma once

#include "loading/runtime_location.h"
#include "tools/tvcvrtrt-check/runtime_check.h"

namespace tvc_check {

front_library find_front_library();

// What the library would read at attach.
tvc::location_inputs inputs_as_at_attach();

}  // namespace tvc_check
