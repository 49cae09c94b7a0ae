// Loading the runtime's libraries and binding their functions, and the
// system's text for the last failure.
#include "bootstrap/library_loader.h"

#include <float.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "tvcvrtrt/api_exception.h"
#include "bootstrap/last_error.h"
#include "bootstrap/runtime_paths.h"
#include "bootstrap/symbol_binder.h"
#include "common/tls_slot.h"
#include "common/unique_resource.h"

namespace tvc {

// ---- the error text of the last failure

namespace {

// One text per thread, in a slot of the system's thread-local storage. The
// code it describes comes from GetLastError, which is itself per thread, so
// two threads failing at once each keep the reason for their own failure;
// and since only the owning thread ever replaces (frees) its text, no thread
// can free a text that another is still reading. Not a C++ thread_local: an
// object with a destructor there makes the C++ runtime pin the library in
// the process for good.
tvc::lazy_tls_slot text_slot;

// Takes the calling thread's text out of the slot; the owner frees it.
unique_local_string take_thread_text(DWORD slot) noexcept {
    unique_local_string text(static_cast<char *>(::TlsGetValue(slot)));
    ::TlsSetValue(slot, nullptr);
    return text;
}

}  // namespace

DWORD record_last_error() {
    const DWORD code = ::GetLastError();
    const DWORD slot = text_slot.index();
    // Without a slot there is no text to keep: the messages end in " Error: ".
    if (slot == TLS_OUT_OF_INDEXES) return code;
    take_thread_text(slot);
    unique_local_string text;
    // Inserts such as "%1" stay as they are: no arguments exist to fill them,
    // and reading absent arguments would crash.
    const DWORD flags =
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    if (::FormatMessageA(flags, nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                         reinterpret_cast<char *>(text.put()), 0, nullptr) != 0 &&
        ::TlsSetValue(slot, text.get())) {
        text.release();
    }
    return code;
}

const char *last_error_text() noexcept {
    const DWORD slot = text_slot.taken();
    if (slot == TLS_OUT_OF_INDEXES) return "";
    const char *text = static_cast<const char *>(::TlsGetValue(slot));
    return text != nullptr ? text : "";
}

void release_thread_error_text() noexcept {
    const DWORD slot = text_slot.taken();
    if (slot != TLS_OUT_OF_INDEXES) take_thread_text(slot);
}

void release_error_text_slot() noexcept {
    const DWORD slot = text_slot.taken();
    if (slot != TLS_OUT_OF_INDEXES) take_thread_text(slot);
    text_slot.release();
}

// ---- the loader

namespace {

constexpr unsigned int all_floating_point_exceptions = 0x8001F;
static_assert(all_floating_point_exceptions == _MCW_EM,
              "invalid, denormal, divide by zero, overflow, underflow, inexact");

constexpr char load_failure[] = "Fatal error loading library ";

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

HMODULE load_library_file(const char *path, DWORD &error_code) {
    error_code = 0;
    // The runtime's libraries compute with floating-point exceptions masked,
    // from their initializers on, which run inside the load.
    ::_control87(all_floating_point_exceptions, all_floating_point_exceptions);
    if (HMODULE module = ::LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)) return module;
    if (HMODULE module = ::LoadLibraryA(path)) return module;
    error_code = record_last_error();
    return nullptr;
}

// ---- the binder

namespace detail {

void throw_missing_symbol(HMODULE module, const char *name) {
    record_last_error();
    char module_file[1024] = {};
    // One byte short of the buffer, so the name stays terminated even where
    // the system does not terminate a truncated one.
    ::GetModuleFileNameA(module, module_file, sizeof module_file - 1);
    throw apiException(std::string("Fatal error finding symbol ") + name + " in " + module_file +
                       " Error: " + last_error_text());
}

}  // namespace detail

}  // namespace tvc
