// Errors: location, loader and binder throw apiException; only the outermost entry points print it and answer false.
// What the DLL's entry point does at process attach: locate the runtime and
// put its library directory at the front of PATH (path_prefix.h). Kept
// callable apart from the entry point itself so that tests can run it in
// their own process.
#pragma once

#include <windows.h>

namespace tvc {

// Locates the runtime, then prefixes PATH with its library directory.
void attach_runtime(HMODULE module);

// Runs work(module). An exception is reported on standard output and turns
// into FALSE, which makes the system refuse the library.
BOOL run_reporting_failure(void (*work)(HMODULE), HMODULE module) noexcept;

// The entry point's answer for one notification: process attach locates the
// runtime; a thread's detach frees that thread's error text; every process
// detach finishes the call trace, and an unload (process detach with
// reserved null) also gives back the per-thread slots and the C++ runtime's
// memory. Every notification but process attach succeeds.
BOOL dll_entry(HMODULE module, DWORD reason, LPVOID reserved = nullptr) noexcept;

}  // namespace tvc
