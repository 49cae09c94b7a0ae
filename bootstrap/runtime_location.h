// Works out, once at process attach, where the installed runtime lives and
// fills the runtime paths and the verbose flag. Each path is filled by
// offering it candidates: a candidate directory is composed, resolved to a
// full path and kept only when it names an existing directory.
#pragma once

#include <windows.h>

#include <initializer_list>

#include "bootstrap/runtime_paths.h"

namespace tvc {

// Throws apiException when the module's own directory or the runtime root
// cannot be found; every other missing directory leaves its path empty (the
// runtime library directory falls back to the module directory). Prints the
// report of the six paths when the verbose flag is set.
void locate_runtime(HMODULE module);

// The stages of locate_runtime, in the order it runs them; each reads the
// paths filled by the stages before it. Environment values are passed in
// (null when the variable is unset).
void locate_module_dir(HMODULE module);
void locate_vrt_root(const char *vrtroot);
void locate_runtime_lib_dir();
void locate_toolbox_dirs(const char *toolbox_tovan_dir);

// Six lines on standard output, values aligned in column 36.
void print_runtime_paths();

// Appends text when the result and its NUL fit; otherwise leaves the buffer
// unchanged and returns false.
bool append_bounded(runtime_path &buffer, const char *text);

// Appends a backslash unless the buffer already ends in one; false when it
// does not fit.
bool end_with_backslash(runtime_path &buffer);

// Resolves candidate into target (an empty candidate names the current
// directory), ends it with a backslash, and accepts it when it is an existing
// directory.
bool offer_candidate(runtime_path &target, const char *candidate);

enum class trailing_backslash { yes, no };

// base\component\...[\] in composed. A result that would not fit is refused
// (false, composed empty) rather than truncated: a cut-off path could name a
// different, existing directory.
bool compose_candidate(runtime_path &composed, const char *base,
                       std::initializer_list<const char *> components,
                       trailing_backslash trailing = trailing_backslash::yes);

// Composes and offers in one go; a candidate that cannot be composed is
// rejected like a missing directory.
bool offer_composed(runtime_path &target, const char *base,
                    std::initializer_list<const char *> components,
                    trailing_backslash trailing = trailing_backslash::yes);

}  // namespace tvc
