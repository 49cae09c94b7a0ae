#include "bootstrap/attach.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bootstrap/api_exception.h"
#include "bootstrap/last_error.h"
#include "bootstrap/runtime_location.h"
#include "bootstrap/runtime_paths.h"
#include "common/code_page_text.h"
#include "forwarding/api_lock.h"
#include "forwarding/call_trace.h"

// libstdc++ keeps an emergency pool for exceptions thrown while memory runs
// out: about 71 KiB taken with malloc when the library is loaded, from the
// process's C runtime heap, which outlives the library. Nothing frees it at
// unload, so every load and unload of the library lost it; this is
// libstdc++'s own routine that frees it (no header declares it).
namespace __gnu_cxx {
void __freeres() noexcept;
}

namespace tvc {

namespace {

// An environment variable's value holds at most 32,767 characters with its
// terminator. A longer PATH is not refused by the C runtime here but cut to
// almost nothing; the narrow bytes counted below are never fewer than the
// characters.
constexpr std::size_t environment_value_capacity = 32767;

// Whether the first element of PATH is dir, compared as the file system
// compares names. A reload in the same process finds its directory there.
bool path_starts_with(const char *path, const char *dir) {
    const char *separator = find_first_character(path, ';');
    const std::size_t first_length = separator != nullptr ? static_cast<std::size_t>(separator - path)
                                                          : std::strlen(path);
    return same_name_ignoring_case(path, first_length, dir, std::strlen(dir));
}

}  // namespace

path_prefix prefixed_path(const char *old_path, const char *dir, std::string &new_path) {
    if (old_path == nullptr) old_path = "";
    if (path_starts_with(old_path, dir)) return path_prefix::already_in_front;
    if (std::strlen(dir) + 1 + std::strlen(old_path) + 1 > environment_value_capacity)
        return path_prefix::does_not_fit;
    new_path = dir;
    new_path += ';';
    new_path += old_path;
    return path_prefix::put_in_front;
}

void prefix_path_with_runtime_lib_dir() {
    std::string entry = "PATH=", new_path;
    switch (prefixed_path(std::getenv("PATH"), runtime_paths.runtime_lib_dir, new_path)) {
    case path_prefix::already_in_front:
        return;
    case path_prefix::does_not_fit:
        if (verbose) {
            std::printf("PATH left as it was: the runtime library directory does not fit in front of it\n");
            std::fflush(stdout);
        }
        return;
    case path_prefix::put_in_front:
        entry += new_path;
        // The runtime copies the entry.
        _putenv(entry.c_str());
        return;
    }
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
    case DLL_THREAD_DETACH:
        release_thread_error_text();
        release_thread_direct_calls();
        break;
    case DLL_PROCESS_DETACH:
        // At process exit the other threads are gone already, and their
        // memory with the process.
        if (reserved == nullptr) {
            release_error_text_slot();
            release_direct_call_slot();
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
