// The DLL's entry point and what it does at process attach and detach.
#include "bootstrap/attach.h"

#include <cstdio>

#include "tvcvrtrt/api_exception.h"
#include "loading/last_error.h"
#include "loading/path_prefix.h"
#include "loading/runtime_location.h"
#include "call_trace/call_trace.h"
#include "forwarding/api_lock.h"

// libstdc++ keeps an emergency pool for exceptions thrown while memory runs
// out: about 71 KiB taken with malloc when the library is loaded, from the
// process's C runtime heap, which outlives the library. Nothing frees it at
// unload, so every load and unload of the library lost it; this is
// libstdc++'s own routine that frees it (no header declares it).
namespace __gnu_cxx {
void __freeres() noexcept;
}

namespace tvc {

void attach_runtime(HMODULE module) {
    take_unreached_acquire_slot();
    locate_runtime(module);
    prefix_path_with_runtime_lib_dir();
}

BOOL run_reporting_failure(void (*work)(HMODULE), HMODULE module) noexcept {
    try {
        work(module);
        return TRUE;
    } catch (const apiException &error) {
        std::printf("%s\n", error.what());
    } catch (...) {
        std::printf("A fatal error has occurred while initializing libraries\n");
    }
    // The application may write through a C runtime of its own, past our
    // buffer: each message leaves it at once, so lines keep their order.
    std::fflush(stdout);
    return FALSE;
}

BOOL dll_entry(HMODULE module, DWORD reason, LPVOID reserved) noexcept {
    switch (reason) {
    case DLL_PROCESS_ATTACH: return run_reporting_failure(attach_runtime, module);
    case DLL_THREAD_DETACH:
        release_thread_error_text();
        break;
    case DLL_PROCESS_DETACH:
        // Pinned while tracing, the library is detached only at exit, when
        // the other threads are gone already, and their memory with the
        // process.
        finish_call_trace_at_exit();
        if (reserved == nullptr) {
            release_error_text_slot();
            release_unreached_acquire_slot();
            // No code of the library runs after this but the C runtime's
            // own unload work, which throws nothing.
            __gnu_cxx::__freeres();
        }
        break;
    }
    return TRUE;
}

}  // namespace tvc

// The DLL's entry point, called by the C runtime's start-up code once that
// runtime is initialised.
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
    return tvc::dll_entry(module, reason, reserved);
}
