// Runs diagnostics_host.exe in a fresh process and collects what it printed.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/child_process.h"

namespace diagnostics_test {

using tvc_test::executable_dir;

// Each command becomes one argument; commands hold no double quotes.
inline tvc_test::child_run run_host(const std::vector<std::string> &commands) {
    return tvc_test::run_child("diagnostics_host.exe", commands);
}

// What a host that ran the commands printed; the host must exit cleanly.
inline std::string output_of(const std::vector<std::string> &commands) {
    const tvc_test::child_run run = run_host(commands);
    EXPECT_EQ(run.exit_code, 0u);
    return run.output;
}

}  // namespace diagnostics_test
