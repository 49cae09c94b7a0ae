// Runs diagnostics_host.exe in a fresh process and collects what it printed.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace diagnostics_test {

struct host_run {
    DWORD exit_code;
    std::string output;  // standard output, byte for byte
};

// Each command becomes one argument; commands hold no double quotes.
host_run run_host(const std::vector<std::string> &commands);

// The test executable's directory, ending in a backslash.
std::string executable_directory();

}  // namespace diagnostics_test
