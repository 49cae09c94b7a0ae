#include "bootstrap/path_prefix.h"

#include "bootstrap/runtime_paths.h"

#include <cstdlib>
#include <string>

namespace tvc {

void prefix_path_with_runtime_lib_dir() {
    const char *old_path = std::getenv("PATH");
    std::string entry = "PATH=";
    entry += runtime_paths.runtime_lib_dir;
    entry += ';';
    entry += old_path != nullptr ? old_path : "";
    // The runtime copies the entry. A failure leaves PATH as it was, and the
    // libraries are then looked up by the system's usual rules.
    _putenv(entry.c_str());
}

}  // namespace tvc
