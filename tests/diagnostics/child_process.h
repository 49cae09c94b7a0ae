// Runs diagnostics_host.exe in a fresh process and collects what it printed.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/child_process.h"

namespace diagnostics_test {

using tvc_test::executable_dir;

// Each command becomes one argument; commands hold no double quotes. Null
// working_dir: this process's.
inline tvc_test::child_run run_host(const std::vector<std::string> &commands,
                                    const char *working_dir = nullptr) {
    return tvc_test::run_child("diagnostics_host.exe", commands, nullptr, working_dir);
}

// What a host that ran the commands printed; the host must exit cleanly.
inline std::string output_of(const std::vector<std::string> &commands,
                             const char *working_dir = nullptr) {
    const tvc_test::child_run run = run_host(commands, working_dir);
    EXPECT_EQ(run.exit_code, 0u);
    return run.output;
}

}  // namespace diagnostics_test
