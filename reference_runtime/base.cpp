// tvcbase.dll of the reference runtime: the API mutex and the engine state.
#include "reference_runtime/reference_runtime.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace reference {

namespace {

// A critical section admits re-entry by the thread that holds it, which the
// front library's API lock relies on. Made on first use and kept for the
// process: the mutex must outlive every caller.
CRITICAL_SECTION &api_mutex() {
    static CRITICAL_SECTION *const mutex = [] {
        static CRITICAL_SECTION section;
        InitializeCriticalSection(&section);
        return &section;
    }();
    return *mutex;
}

std::int32_t engine_state = 0;

}  // namespace

void tvcAcquireMutex() { EnterCriticalSection(&api_mutex()); }

void tvcReleaseMutex() { LeaveCriticalSection(&api_mutex()); }

bool tvcSetEngState(std::int32_t state) {
    engine_state = state;
    return true;
}

bool tvcInitializeApplication(const void *, std::size_t) { return true; }

// The initialization is tvcvrt.dll's; it is asked only when it is loaded
// already, never loaded from here.
bool tvcIsVRTInitialized() {
    const HMODULE runtime = GetModuleHandleW(L"tvcvrt.dll");
    const FARPROC address = runtime != nullptr ? GetProcAddress(runtime, "reference_runtime_initialized") : nullptr;
    const auto initialized = reinterpret_cast<bool (*)()>(reinterpret_cast<void (*)()>(address));
    return initialized != nullptr && initialized();
}

}  // namespace reference
