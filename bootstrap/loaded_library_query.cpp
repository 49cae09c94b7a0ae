// Whether a library of a given name is loaded in the process.
#include <windows.h>
#include <psapi.h>

#include <string_view>
#include <vector>

#include "tvcvrtrt/diagnostics.h"

namespace {

constexpr DWORD usual_module_count = 1024;

// Handles of every module in the process; empty when the enumeration fails.
std::vector<HMODULE> process_modules(HANDLE process) {
    std::vector<HMODULE> modules(usual_module_count);
    for (;;) {
        const DWORD offered = static_cast<DWORD>(modules.size() * sizeof(HMODULE));
        DWORD needed = 0;
        if (!::EnumProcessModules(process, modules.data(), offered, &needed)) return {};
        if (needed <= offered) {
            modules.resize(needed / sizeof(HMODULE));
            return modules;
        }
        // More modules than the array holds: size it from the reported count
        // and ask again, since more may have been loaded in between.
        modules.resize(needed / sizeof(HMODULE));
    }
}

}  // namespace

bool tvcvrtrtIsLibLoaded(const char *name) {
    if (!name) return false;
    const std::string_view wanted(name);
    const HANDLE process = ::GetCurrentProcess();
    for (HMODULE module : process_modules(process)) {
        char path[MAX_PATH];
        const DWORD length = ::GetModuleFileNameExA(process, module, path, MAX_PATH);
        if (length == 0) continue;
        const std::string_view module_path(path, length < MAX_PATH ? length : MAX_PATH - 1);
        if (module_path.find(wanted) != std::string_view::npos) return true;
    }
    return false;
}
