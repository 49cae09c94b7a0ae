// Starts a program in a fresh process and collects its standard output and
// exit code, for behaviour that happens once per process (attach,
// initialization, once-only messages).
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/executable_directory.h"

namespace tvc_test {

struct child_run {
    DWORD exit_code;     // a crash shows as its exception code
    std::string output;  // standard output, byte for byte
};

// program is a file name next to the test executable; each argument is
// quoted (arguments hold no double quotes). environment is a sorted,
// double-NUL-terminated block, or null to inherit this process's; working_dir
// null keeps this process's current directory. A child still running after
// timeout_ms is ended: its exit code is then WAIT_TIMEOUT and its output
// ends in "[no exit within the time allowed]", so a hang fails a test
// instead of stopping the suite.
child_run run_child(const std::string &program, const std::vector<std::string> &arguments,
                    const char *environment = nullptr, const char *working_dir = nullptr,
                    DWORD timeout_ms = 120000);

// What a child printed; anything but exit code 0 (an error exit, a crash, a
// hang) fails the calling test.
std::string output_of(const std::string &program, const std::vector<std::string> &arguments,
                      const char *environment = nullptr, const char *working_dir = nullptr);
// The same with an environment block of wide characters.
child_run run_child(const std::string &program, const std::vector<std::string> &arguments,
                    const wchar_t *environment, const char *working_dir = nullptr, DWORD timeout_ms = 120000);
std::string output_of(const std::string &program, const std::vector<std::string> &arguments,
                      const wchar_t *environment, const char *working_dir = nullptr);

// This process's environment with each named variable set to its value, or
// removed where it has none, as a sorted, double-NUL-terminated block of
// wide characters. The rest (the wine prefix among it) is kept, so that the
// child joins the same system.
using environment_changes = std::vector<std::pair<std::wstring, std::optional<std::wstring>>>;
std::wstring environment_with(const environment_changes &changes);

// output_of for one program: host("x.exe")(commands[, working_dir]).
inline auto host(const std::string &program) {
    return [program](const std::vector<std::string> &commands, const char *working_dir = nullptr) {
        return output_of(program, commands, static_cast<const char *>(nullptr), working_dir);
    };
}

}  // namespace tvc_test
