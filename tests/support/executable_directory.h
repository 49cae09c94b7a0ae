// The directory holding the running executable, with a backslash: the build
// puts every program and library that the tests and benchmarks start there.
#pragma once

#include <windows.h>

#include <string>

namespace tvc_test {

inline std::string executable_directory() {
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH - 1);
    const std::string file(path);
    return file.substr(0, file.find_last_of('\\') + 1);
}

}  // namespace tvc_test
