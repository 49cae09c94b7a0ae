#include "bootstrap/runtime_paths.h"

namespace tvc {

runtime_paths_t runtime_paths{};
bool verbose = false;

}  // namespace tvc
