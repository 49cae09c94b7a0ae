// Works out, once at process attach, where the installed runtime lives and
// fills the runtime paths and the verbose flag.
#pragma once

#include <windows.h>

namespace tvc {

// Throws apiException when the module's own directory or the runtime root
// cannot be found; every other missing directory leaves its path empty (the
// runtime library directory falls back to the module directory).
void locate_runtime(HMODULE module);

// The stages of locate_runtime, in the order it runs them; each reads the
// paths filled by the stages before it. Environment values are passed in
// (null when the variable is unset).
void locate_module_dir(HMODULE module);
void locate_vrt_root(const char *vrtroot);
void locate_runtime_lib_dir();
void locate_toolbox_dirs(const char *toolbox_tovan_dir);

}  // namespace tvc
