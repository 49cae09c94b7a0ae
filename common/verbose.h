// Whether the library tells on standard output what it does and why a step
// failed: set at attach when TVCVRTRT_VERBOSE exists, whatever its value.
// Here, below every layer, so that each can tell its own.
#pragma once

namespace tvc {

inline bool verbose = false;

}  // namespace tvc
