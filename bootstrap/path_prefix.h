// Puts the runtime library directory at the front of the process's PATH, so
// that the runtime's libraries, and what they load in turn, resolve there.
#pragma once

namespace tvc {

// PATH becomes "<runtime library directory>;<old PATH>" (an unset PATH counts
// as empty). May throw std::bad_alloc.
void prefix_path_with_runtime_lib_dir();

}  // namespace tvc
