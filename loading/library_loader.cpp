// Loading the runtime's libraries.
#include "loading/library_loader.h"

#include <float.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "tvcvrtrt/api_exception.h"
#include "loading/last_error.h"
#include "loading/runtime_paths.h"
#include "common/code_page_text.h"
#include "common/unlimited_path.h"

namespace tvc {

namespace {

constexpr unsigned int all_floating_point_exceptions = 0x8001F;
static_assert(all_floating_point_exceptions == _MCW_EM,
              "invalid, denormal, divide by zero, overflow, underflow, inexact");

constexpr char load_failure[] = "Fatal error loading library ";

// A library that fails to load (a dependency missing, an import table
// damaged) can make the system show a modal error box, and an unattended
// host would wait on it before our message is printed. Only the calling
// thread's mode is changed, and only for the load: the caller's own choice
// is put back, and with it the load's error code.
class critical_error_boxes_off {
public:
    critical_error_boxes_off() noexcept {
        const DWORD callers = ::GetThreadErrorMode();
        if (!::SetThreadErrorMode(callers | SEM_FAILCRITICALERRORS, &callers_)) callers_ = callers;
    }
    ~critical_error_boxes_off() {
        const DWORD error = ::GetLastError();
        ::SetThreadErrorMode(callers_, nullptr);
        ::SetLastError(error);
    }
    critical_error_boxes_off(const critical_error_boxes_off &) = delete;
    critical_error_boxes_off &operator=(const critical_error_boxes_off &) = delete;

private:
    DWORD callers_ = 0;
};

}  // namespace

HMODULE load_runtime_library(const char *file_name) {
    const char *directory = runtime_paths.runtime_lib_dir;
    const std::size_t directory_length = ::strnlen(directory, runtime_path_capacity);
    const std::size_t name_length = std::strlen(file_name);
    // The full path must fit the same kind of buffer as the paths themselves,
    // terminator included; anything longer could not be loaded anyway.
    if (directory_length + name_length >= runtime_path_capacity) {
        throw apiException(std::string(load_failure) + file_name +
                           " Error: the runtime library directory and the file name together are "
                           "longer than " +
                           std::to_string(runtime_path_capacity - 1) + " characters\n");
    }
    std::string path(directory, directory_length);
    path += file_name;

    if (verbose) {
        std::printf("Loading %s\n", path.c_str());
        std::fflush(stdout);
    }

    DWORD error_code = 0;
    if (HMODULE module = load_library_file(path.c_str(), error_code)) return module;
    throw apiException(load_failure + path + " Error: " + last_error_text());
}

void add_runtime_lib_dir_to_dll_directories() {
    // A process that has called SetDefaultDllDirectories no longer searches
    // PATH for a library named without a path, so the runtime's own loads by
    // bare name would miss the directory that the attach put in front of PATH.
    // Added at most once per process and never removed: the runtime's
    // libraries stay loaded for good. A process without default directories
    // searches the added ones only for loads that ask for them, so it sees no
    // difference. Not at attach: the loader lock is held there.
    static std::once_flag added;
    std::call_once(added, [] {
        std::wstring directory;
        const char *narrow = runtime_paths.runtime_lib_dir;
        if (narrow[0] == '\0' || !widen(narrow, ::strnlen(narrow, runtime_path_capacity), directory,
                                         invalid_bytes::refused)) {
            return;
        }
        // The cookie would remove the directory again; it never is.
        ::AddDllDirectory(directory.c_str());
    });
}

HMODULE load_library_file(const char *path, DWORD &error_code) {
    error_code = 0;
    // The runtime's libraries compute with floating-point exceptions masked,
    // from their initializers on, which run inside the load.
    ::_control87(all_floating_point_exceptions, all_floating_point_exceptions);
    const critical_error_boxes_off no_error_boxes;
    // Through the wide functions: the narrow ones cut a path at MAX_PATH
    // ("File name is too long"), and a runtime directory may be longer. The
    // path widens without loss, being in the code page it was narrowed to;
    // text that does not widen is loaded as the narrow functions read it.
    std::wstring wide;
    if (widen(path, std::strlen(path), wide, invalid_bytes::refused)) {
        wide = file_system_path(wide);
        if (HMODULE module = ::LoadLibraryExW(wide.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)) return module;
        if (HMODULE module = ::LoadLibraryW(wide.c_str())) return module;
    } else {
        if (HMODULE module = ::LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)) return module;
        if (HMODULE module = ::LoadLibraryA(path)) return module;
    }
    error_code = record_last_error();
    return nullptr;
}

}  // namespace tvc
