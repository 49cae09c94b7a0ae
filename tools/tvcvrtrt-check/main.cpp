// tvcvrtrt-check: tells a user why an application reports "Fatal error
// loading library" or "Fatal error finding symbol". Shipped beside
// tvcvrtrt7_17.dll; shows the runtime paths and what decided them, loads
// every family library and looks up every symbol of its binding table, and
// lists the registered components.
#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>

#include "bootstrap/library_version.h"
#include "tools/json_writer.h"
#include "tools/tvcvrtrt-check/command_line.h"
#include "tools/tvcvrtrt-check/component_listing.h"
#include "tools/tvcvrtrt-check/runtime_check.h"
#include "tools/tvcvrtrt-check/runtime_report.h"
#include "tvcvrtrt/diagnostics.h"

namespace {

// The C runtime calls a pipe whose reader has gone an invalid argument; the
// system's own code says what happened.
std::string not_written_cause() {
    const unsigned long system_error = _doserrno;
    if (system_error == ERROR_BROKEN_PIPE || system_error == ERROR_NO_DATA || system_error == ERROR_PIPE_NOT_CONNECTED) {
        return "the program reading it closed the pipe before the report ended";
    }
    return std::strerror(errno);
}

int run_check(const tvc_check::command_line &line) {
    const tvc_check::runtime_check check = tvc_check::check_runtime();
    tvc_check::component_listing listing;
    if (line.components) {
        listing = tvc_check::list_components(line.component_name.empty() ? nullptr : line.component_name.c_str(),
                                             line.load);
    }
    if (line.json) {
        tvc_check::json_writer json(stdout);
        json.begin_object();
        print_json(check, json);
        if (line.components) print_json(listing, json);
        json.end_object();
    } else {
        print_text(check, stdout);
        if (line.components) print_text(listing, stdout);
    }
    // A report lost on the way out (a full disk, a closed pipe) is no report:
    // the caller must not take silence for success.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "tvcvrtrt-check: the report could not be written to standard output: %s\n",
                     not_written_cause().c_str());
        return tvc_check::exit_not_written;
    }
    return check.everything_binds() && listing.everything_read() ? tvc_check::exit_binds : tvc_check::exit_does_not_bind;
}

}  // namespace

int main(int argc, char **argv) {
    tvc_check::command_line line;
    std::string error;
    if (!tvc_check::parse_command_line(argc, argv, line, error)) {
        std::fprintf(stderr, "tvcvrtrt-check: %s\n", error.c_str());
        tvc_check::print_usage(stderr);
        return tvc_check::exit_bad_arguments;
    }
    if (line.help) {
        tvc_check::print_help();
        return tvc_check::exit_binds;
    }
    if (line.version) {
        std::printf("tvcvrtrt-check %s (the library's code; runtime interface %s.%s)\n", tvcvrtrt_version,
                    tvc::runtime_major_version, tvc::runtime_minor_version);
        return tvc_check::exit_binds;
    }
    const int status = line.job != nullptr ? line.job(line) : run_check(line);
    std::fflush(stdout);
    return status;
}
