// Works out where the installed runtime lives: once at process attach, into
// the runtime paths and the verbose flag, and on request of the diagnostic
// command, into a value of its own. Each path is filled by
// offering it candidates: a candidate directory is composed, resolved to a
// full path and kept only when it names an existing directory.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <optional>
#include <string>

#include "loading/runtime_paths.h"

namespace tvc {

// The installed runtime's layout under its root, and the variables that move
// its parts: the diagnostic command explains a location in these terms, so
// they are named once, here.
inline constexpr std::initializer_list<const char *> runtime_lib_subdirs = {"bin", "win64"};
inline constexpr std::initializer_list<const char *> toolbox_subdirs = {"toolbox", "compiler", "vrt", "tovan"};
inline constexpr std::initializer_list<const char *> short_toolbox_subdirs = {"toolbox", "tovan"};
inline constexpr std::initializer_list<const char *> root_from_module_dir = {"..", ".."};
inline constexpr std::initializer_list<const char *> toolbox_prefix_from_toolbox_dir = {".."};
inline constexpr std::initializer_list<const char *> deploy_toolbox_subdirs = {"compiler"};
inline constexpr char vrtroot_variable[] = "VRTROOT";
inline constexpr char toolbox_tovan_dir_variable[] = "TOOLBOXTOVANDIR";
inline constexpr char verbose_variable[] = "TVCVRTRT_VERBOSE";

// What the location reads from the process: the module and the values of
// VRTROOT, TOOLBOXTOVANDIR (empty when unset) and TVCVRTRT_VERBOSE (null when
// unset). The two directories are read in wide characters and narrowed
// without loss, or in their short form; a value that the process code page
// cannot hold either way is narrowed with the code page's default character,
// which names no directory, and marked as not held.
struct location_inputs {
    HMODULE module = nullptr;
    std::optional<std::string> vrtroot;
    std::optional<std::string> toolbox_tovan_dir;
    const char *verbose = nullptr;
    bool vrtroot_held = true;
    bool toolbox_tovan_dir_held = true;
};
location_inputs location_inputs_of_process(HMODULE module);

// The verbose report's line for a directory variable whose value the process
// code page cannot hold: "<name> not used: ...".
std::string unheld_variable_note(const char *name);

// What the location found: every path it could fill (those of the stages
// after a failed one stay empty), the verbose flag, and the failure's message.
struct runtime_location {
    runtime_paths_t paths{};
    bool verbose = false;
    const char *error = nullptr;  // null when the runtime was found
    std::string notes;            // lines for the verbose report, before the paths
};

// Works the location out from the inputs alone: writes no global and prints
// nothing, so that the diagnostic command can ask the question the library
// answers at attach. Throws nothing but std::bad_alloc. The module's own
// directory and the runtime root are the two failures; every other missing
// directory leaves its path empty (the runtime library directory falls back
// to the module directory).
runtime_location find_runtime(const location_inputs &inputs);

// At attach: find_runtime with the process's inputs, its paths copied into
// runtime_paths and its verbose flag into verbose. A failure throws
// apiException with its message; otherwise the report of the six paths is
// printed when the verbose flag is set.
void locate_runtime(HMODULE module);

// The stages of find_runtime, in the order it runs them; each reads the
// paths filled by the stages before it. The first two answer false when the
// runtime cannot be found.
bool locate_module_dir(runtime_paths_t &paths, HMODULE module);
bool locate_vrt_root(runtime_paths_t &paths, const char *vrtroot);
void locate_runtime_lib_dir(runtime_paths_t &paths);
void locate_toolbox_dirs(runtime_paths_t &paths, const char *toolbox_tovan_dir);

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
