// Where the installed runtime lives: computed once at process attach and only
// read afterwards, from any thread, without locking.
#pragma once

#include <cstddef>

namespace tvc {

// Each path is empty or an absolute directory ending in a backslash.
constexpr std::size_t runtime_path_capacity = 2562;
using runtime_path = char[runtime_path_capacity];

struct runtime_paths_t {
    runtime_path module_dir;          // directory of this DLL's own file
    runtime_path vrt_root;            // root of the installed runtime
    runtime_path runtime_lib_dir;     // sibling libraries load from here; heads PATH
    runtime_path toolbox_dir;         // installed toolbox directory
    runtime_path toolbox_prefix;      // parent of the toolbox directory
    runtime_path deploy_toolbox_dir;  // "compiler" under the toolbox prefix
};

extern runtime_paths_t runtime_paths;

// Set at attach when TVCVRTRT_VERBOSE exists, whatever its value.
extern bool verbose;

}  // namespace tvc
