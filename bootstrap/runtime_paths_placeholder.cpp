// Storage for the runtime paths and the verbose flag, until the attach code
// that computes them defines them.
#include "bootstrap/runtime_paths.h"

namespace tvc {

runtime_paths_t runtime_paths{};
bool verbose = false;

}  // namespace tvc
