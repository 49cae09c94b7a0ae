#include "bootstrap/process_attach.h"

#include "bootstrap/api_exception.h"
#include "bootstrap/locate_runtime.h"
#include "bootstrap/path_prefix.h"

#include <cstdio>

namespace tvc {

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
    return FALSE;
}

BOOL dll_entry(HMODULE module, DWORD reason) noexcept {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    return run_reporting_failure(attach_runtime, module);
}

}  // namespace tvc
