// Runs diagnostics_host.exe in a fresh process and collects what it printed.
#pragma once

#include <string>
#include <vector>

#include "support/child_process.h"

namespace diagnostics_test {

using host_run = tvc_test::child_run;
using tvc_test::executable_dir;

// Each command becomes one argument; commands hold no double quotes.
inline host_run run_host(const std::vector<std::string> &commands) {
    return tvc_test::run_child("diagnostics_host.exe", commands);
}

}  // namespace diagnostics_test
