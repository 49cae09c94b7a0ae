#include "bootstrap/attach.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bootstrap/api_exception.h"
#include "bootstrap/last_error.h"
#include "bootstrap/runtime_location.h"
#include "bootstrap/runtime_paths.h"

namespace tvc {

void prefix_path_with_runtime_lib_dir() {
    const char *old_path = std::getenv("PATH");
    std::string entry = "PATH=";
    entry += runtime_paths.runtime_lib_dir;
    entry += ';';
    entry += old_path != nullptr ? old_path : "";
    // The runtime copies the entry. A failure leaves PATH as it was, and the
    // libraries are then looked up by the system's usual rules.
    _putenv(entry.c_str());
}

void attach_runtime(HMODULE module) {
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
    case DLL_THREAD_DETACH: release_thread_error_text(); break;
    case DLL_PROCESS_DETACH:
        // At process exit the other threads are gone already, and their
        // memory with the process.
        if (reserved == nullptr) release_error_text_slot();
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
