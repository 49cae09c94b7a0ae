// What the DLL entry point does, kept out of the entry point itself so that
// tests can run it in their own process.
#pragma once

#include <windows.h>

namespace tvc {

// Locates the runtime, then prefixes PATH with its library directory.
void attach_runtime(HMODULE module);

// Runs work(module). An exception is reported on standard output and turns
// into FALSE, which makes the system refuse the library.
BOOL run_reporting_failure(void (*work)(HMODULE), HMODULE module) noexcept;

// The entry point's answer for one notification: only process attach does
// anything; detach and thread notifications succeed without work.
BOOL dll_entry(HMODULE module, DWORD reason) noexcept;

}  // namespace tvc
