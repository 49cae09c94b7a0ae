// Loading the runtime's libraries. No library is ever unloaded. A failure
// throws apiException with a finished, human-readable message.
#pragma once

#include <windows.h>

namespace tvc {

// Loads file_name from the runtime library directory. Prints "Loading <path>"
// first when the verbose flag is set. Never returns null: a failure, or a
// path that would not fit a runtime path buffer, throws apiException naming
// the file.
HMODULE load_runtime_library(const char *file_name);

// Adds the runtime library directory to the process's DLL directories
// (AddDllDirectory), once per process: a host that set default DLL
// directories searches those, not PATH, for the runtime's own loads by bare
// name. Called at initialization, before the first sibling library loads;
// never at attach. Throws nothing but std::bad_alloc; a directory the system
// refuses leaves the search as it was.
void add_runtime_lib_dir_to_dll_directories();

// The raw load: masks every floating-point exception of the calling thread
// (and leaves them masked), tries the library's own directory first for its
// dependencies, then the standard search order. On failure returns null, sets
// error_code to the system's code and records its text (last_error_text);
// error_code is 0 otherwise. The system shows no critical-error box during
// the load; the thread's error mode is the caller's again afterwards.
// Loading a library that is already in the process gives back its handle.
HMODULE load_library_file(const char *path, DWORD &error_code);

}  // namespace tvc
