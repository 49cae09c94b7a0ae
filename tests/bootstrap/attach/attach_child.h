// Starts the attach host in a child process, with the environment variables
// that the attach reads set as a test wants them, and collects its stdout.
#pragma once

#include <optional>
#include <string>

namespace tvc_test {

// Each member is the variable's value, or unset when empty.
struct attach_environment {
    std::optional<std::string> verbose = "1";  // TVCVRTRT_VERBOSE
    std::optional<std::string> vrtroot;
    std::optional<std::string> toolbox_tovan_dir;
    std::optional<std::string> path = "C:\\windows\\system32;C:\\windows";
    // Set: PATH in wide characters, in place of path.
    std::optional<std::wstring> wide_path;
    // Set: VRTROOT in wide characters, in place of vrtroot.
    std::optional<std::wstring> wide_vrtroot;
};

// Everything the host and the DLL printed; the host must exit cleanly (a
// refused load included), or the calling test fails. The child's current directory
// is working_dir; a utilities library (one without printer) makes the host
// call the print routine on several threads before it unloads the DLL;
// "--reload" in its place makes the host load the DLL once more afterwards;
// "--wide" makes it also print PATH as the process environment and as the C
// runtime hold it in wide characters, in UTF-8 ("wide PATH=", "C runtime PATH=");
// "--acquire-then-unload" makes it take the API lock before unloading.
std::string run_attach_host(const std::string &dll_path, const attach_environment &environment,
                            const std::string &working_dir, const std::string &utilities = "");

// The value of one report line: the text after the 35-column label up to the
// end of the line; "<no line>" when the output has no line with that label.
std::string report_value(const std::string &output, const std::string &label);

}  // namespace tvc_test
