// What the DLL's entry point does at process attach: locate the runtime and
// put its library directory at the front of PATH. Kept callable apart from
// the entry point itself so that tests can run it in their own process.
#pragma once

#include <windows.h>

namespace tvc {

// Locates the runtime, then prefixes PATH with its library directory.
void attach_runtime(HMODULE module);

// PATH becomes "<runtime library directory>;<old PATH>" (an unset PATH counts
// as empty), so that the runtime's libraries, and what they load in turn,
// resolve there. May throw std::bad_alloc.
void prefix_path_with_runtime_lib_dir();

// Runs work(module). An exception is reported on standard output and turns
// into FALSE, which makes the system refuse the library.
BOOL run_reporting_failure(void (*work)(HMODULE), HMODULE module) noexcept;

// The entry point's answer for one notification: only process attach does
// anything; detach and thread notifications succeed without work.
BOOL dll_entry(HMODULE module, DWORD reason) noexcept;

}  // namespace tvc
