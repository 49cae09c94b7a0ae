// Where the installed runtime lives: computed once at process attach and only
// read afterwards, from any thread, without locking. publish_runtime_paths
// is their one writer.
#pragma once

#include <cstddef>

#include "common/verbose.h"

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

extern const runtime_paths_t &runtime_paths;

// Writes the paths: at attach (locate_runtime), before any other thread can
// read them, and nowhere else in the library. A program that stands in for
// the attach (the diagnostic command's loader child, a test host, a
// benchmark) calls it at the same point, before it starts a thread or an
// initialization, and a test that changes them does so between uses.
void publish_runtime_paths(const runtime_paths_t &paths) noexcept;

}  // namespace tvc
