// What the loader tests compare against: where the stand-in libraries lie and
// the system's own text for an error code.
#pragma once

#include <windows.h>

#include <cstring>
#include <string>

#include "loading/runtime_paths.h"
#include "support/child_process.h"

namespace tvc_test {

// The system's message for code, as FormatMessageA gives it; "" when none.
inline std::string system_text(DWORD code) {
    char *text = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char *>(&text), 0,
        nullptr);
    std::string result = length ? std::string(text, length) : std::string();
    ::LocalFree(text);
    return result;
}

// Points the runtime library directory at directory for one test.
class runtime_lib_dir_override {
public:
    explicit runtime_lib_dir_override(const std::string &directory) : saved_(tvc::runtime_paths) {
        tvc::runtime_paths_t paths = saved_;
        std::memset(paths.runtime_lib_dir, 0, sizeof paths.runtime_lib_dir);
        std::memcpy(paths.runtime_lib_dir, directory.data(),
                    directory.size() < sizeof paths.runtime_lib_dir ? directory.size()
                                                                    : sizeof paths.runtime_lib_dir - 1);
        tvc::publish_runtime_paths(paths);
    }
    ~runtime_lib_dir_override() { tvc::publish_runtime_paths(saved_); }
    runtime_lib_dir_override(const runtime_lib_dir_override &) = delete;
    runtime_lib_dir_override &operator=(const runtime_lib_dir_override &) = delete;

private:
    tvc::runtime_paths_t saved_;
};

// Sets the verbose flag for one test.
class verbose_override {
public:
    explicit verbose_override(bool value) : saved_(tvc::verbose) { tvc::verbose = value; }
    ~verbose_override() { tvc::verbose = saved_; }
    verbose_override(const verbose_override &) = delete;
    verbose_override &operator=(const verbose_override &) = delete;

private:
    bool saved_;
};

}  // namespace tvc_test
