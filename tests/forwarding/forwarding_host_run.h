// Runs forwarding_host in a fresh process, for scenarios that happen once
// per process (initialization, the call trace).
#pragma once

#include "support/child_process.h"

#include <string>
#include <vector>

namespace tvc_test {

// The build's complete test runtime, with its closing backslash.
inline const std::string test_runtime_dir = executable_directory() + "test_runtime\\";

inline const auto host_output = host("forwarding_host.exe");

// The host's "lib:" command; without the directory's closing backslash,
// which would escape the quote around the argument.
inline std::string lib(const std::string &dir) { return "lib:" + dir.substr(0, dir.size() - 1); }

}  // namespace tvc_test
