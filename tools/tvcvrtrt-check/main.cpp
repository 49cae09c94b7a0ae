// tvcvrtrt-check: tells a user why an application reports "Fatal error
// loading library" or "Fatal error finding symbol". Shipped beside
// tvcvrtrt7_17.dll; shows the runtime paths and what decided them, loads
// every family library and looks up every symbol of its binding table, and
// lists the registered components.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/tvcvrtrt-check/component_listing.h"
#include "tools/tvcvrtrt-check/json_writer.h"
#include "tools/tvcvrtrt-check/runtime_check.h"
#include "tools/trace_summary.h"
#include "tools/trace_timeline.h"

namespace {

constexpr int exit_binds = 0;
constexpr int exit_does_not_bind = 1;
constexpr int exit_bad_arguments = 2;

struct command_line {
    bool help = false;
    bool json = false;
    bool load = false;
    bool components = true;
    std::string component_name;  // empty: every component
    // An option may replace the check by another job of the tool, with the
    // option's argument; the job gets the parsed command line and returns
    // the exit code.
    int (*job)(const command_line &) = nullptr;
    const char *job_argument = nullptr;
    const char *trace_run = nullptr;  // --run: one run of the trace file
    const char *timeline_output = nullptr;
    // The words of the option being applied, for a row that takes several.
    char *const *argument_words = nullptr;
};

// One row per option: the parser, the usage text and the help come from
// this table alone. A row with an argument name takes the next word, or as
// many as the name has words.
struct option {
    const char *name;
    const char *argument;
    const char *help;
    void (*apply)(command_line &, const char *argument);
};

int summarize_trace_job(const command_line &line) {
    trace_summary_options options;
    options.json = line.json;
    if (line.trace_run != nullptr) {
        char *end = nullptr;
        options.run = static_cast<int>(std::strtol(line.trace_run, &end, 10));
        if (*end != '\0' || options.run < 1) {
            std::fprintf(stderr, "tvcvrtrt-check: --run needs a run number: 1 for the first run of the file\n");
            return exit_bad_arguments;
        }
    }
    return summarize_trace(line.job_argument, options, stdout);
}

constexpr option options[] = {
    {"--help", nullptr, "show this help and exit",
     [](command_line &line, const char *) { line.help = true; }},
    {"--json", nullptr, "write the whole report as one JSON object instead of text",
     [](command_line &line, const char *) { line.json = true; }},
    {"--component", "NAME",
     "list only the component NAME (classes whose version-independent ProgID is NAME.something)",
     [](command_line &line, const char *name) { line.component_name = name; }},
    {"--load", nullptr,
     "read each component's type library: classes, methods, events, properties",
     [](command_line &line, const char *) { line.load = true; }},
    {"--no-components", nullptr, "leave out the registered components",
     [](command_line &line, const char *) { line.components = false; }},
    {"--trace-summary", "FILE",
     "summarize a call trace (TVCVRTRT_TRACE) instead: calls and total time per export",
     [](command_line &line, const char *file) {
         line.job_argument = file;
         line.job = summarize_trace_job;
     }},
    {"--run", "N", "with --trace-summary: only the N-th run of the file (1 for the first)",
     [](command_line &line, const char *number) { line.trace_run = number; }},
    {"--trace-timeline", "TRACE OUT.json",
     "write a call trace as a timeline for the Perfetto UI or chrome://tracing (Trace Event Format) instead",
     [](command_line &line, const char *trace) {
         line.job_argument = trace;
         line.timeline_output = line.argument_words[1];
         line.job = [](const command_line &parsed) {
             return write_trace_timeline(parsed.job_argument, parsed.timeline_output, stdout);
         };
     }},
};

const option *find_option(const char *word) {
    for (const option &candidate : options) {
        if (std::strcmp(candidate.name, word) == 0) return &candidate;
    }
    return nullptr;
}

void print_usage(std::FILE *out) {
    std::fprintf(out, "usage: tvcvrtrt-check");
    for (const option &row : options) {
        std::fprintf(out, row.argument ? " [%s %s]" : " [%s]", row.name, row.argument);
    }
    std::fprintf(out, "\n");
}

void print_help() {
    print_usage(stdout);
    std::printf(
        "\nChecks the Tovan Compiler Runtime as tvcvrtrt7_17.dll beside this program finds it:\n"
        "the six runtime paths and the environment variables that decided them (VRTROOT,\n"
        "TOOLBOXTOVANDIR, TVCVRTRT_VERBOSE); every family library, loaded by full path from\n"
        "the runtime library directory, with every symbol its binding table needs (all\n"
        "missing symbols and the system's reason for each); the registered components of\n"
        "the COM and Excel add-in categories.\n\nOptions:\n");
    for (const option &row : options) {
        const std::string left = row.argument ? std::string(row.name) + " " + row.argument : row.name;
        std::printf("  %-21s %s\n", left.c_str(), row.help);
    }
    std::printf(
        "\nExit status: 0 when every library loads and every symbol binds, 1 when not,\n"
        "2 for a bad command line.\n");
}

// False, with the one-line reason in error, for an unknown option or a
// missing argument.
bool parse(int argc, char **argv, command_line &line, std::string &error) {
    for (int index = 1; index < argc; ++index) {
        const option *row = find_option(argv[index]);
        if (row == nullptr) {
            error = std::string("unknown option \"") + argv[index] + "\"";
            return false;
        }
        const char *argument = nullptr;
        if (row->argument != nullptr) {
            const int words = 1 + static_cast<int>(std::count(row->argument, row->argument + std::strlen(row->argument), ' '));
            if (index + words >= argc) {
                error = std::string(row->name) + " needs " + row->argument;
                return false;
            }
            line.argument_words = argv + index + 1;
            argument = argv[index + 1];
            index += words;
        }
        row->apply(line, argument);
    }
    return true;
}

int run_check(const command_line &line) {
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
    return check.everything_binds() ? exit_binds : exit_does_not_bind;
}

}  // namespace

int main(int argc, char **argv) {
    command_line line;
    std::string error;
    if (!parse(argc, argv, line, error)) {
        std::fprintf(stderr, "tvcvrtrt-check: %s\n", error.c_str());
        print_usage(stderr);
        return exit_bad_arguments;
    }
    if (line.help) {
        print_help();
        return exit_binds;
    }
    const int status = line.job != nullptr ? line.job(line) : run_check(line);
    std::fflush(stdout);
    return status;
}
