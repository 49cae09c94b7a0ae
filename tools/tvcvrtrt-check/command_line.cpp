#include "tools/tvcvrtrt-check/command_line.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/trace/trace_follow.h"
#include "tools/trace/trace_summary.h"
#include "tools/trace/trace_timeline.h"
#include "tools/tvcvrtrt-check/loader_child.h"
#include "tools/tvcvrtrt-check/type_library_reader.h"

namespace tvc_check {

namespace {

// One row per option: the parser, the usage text and the help come from
// this table alone. A row with an argument name takes the next word, or as
// many as the name has words; none may be empty. A row without help is
// internal and not shown.
struct option {
    const char *name;
    const char *argument;
    const char *help;
    void (*apply)(command_line &, const char *argument);
    const char *aliases = nullptr;   // other spellings, separated by blanks
    const char *excludes = nullptr;  // options it is refused beside: their effect would be lost
    const char *needs = nullptr;     // the option it only refines: alone it would be ignored
};

int summarize_trace_job(const command_line &line) {
    tvc_trace::trace_summary_options options;
    options.json = line.json;
    if (line.trace_run != nullptr) {
        // Kept as written: a number beyond any integer type is still a run
        // the file lacks, and the error names it as the user gave it.
        options.run = line.trace_run;
        if (options.run.find_first_not_of("0123456789") != std::string::npos ||
            options.run.find_first_not_of('0') == std::string::npos) {
            std::fprintf(stderr, "tvcvrtrt-check: --run needs a run number: 1 for the first run of the file\n");
            return exit_bad_arguments;
        }
    }
    return tvc_trace::summarize_trace(line.job_argument, options, stdout, stderr);
}

constexpr option options[] = {
    {"--help", nullptr, "show this help and exit",
     [](command_line &line, const char *) { line.help = true; }, "-h /?"},
    {"--version", nullptr, "show the version of the library code this command checks with, and exit",
     [](command_line &line, const char *) { line.version = true; }},
    {"--json", nullptr, "write the whole report as one JSON object instead of text",
     [](command_line &line, const char *) { line.json = true; }},
    {"--component", "NAME",
     "list only the component NAME (classes whose version-independent ProgID is NAME.something, "
     "NAME in its letter case), as the library's query selects it",
     [](command_line &line, const char *name) { line.component_name = name; }, nullptr,
     "--trace-summary --no-components"},
    {"--load", nullptr,
     "read each component's type library (each in a process of its own): classes, methods, events, properties",
     [](command_line &line, const char *) { line.load = true; }, nullptr, "--trace-summary --no-components"},
    {"--no-components", nullptr, "leave out the registered components",
     [](command_line &line, const char *) { line.components = false; }, nullptr, "--trace-summary"},
    {"--trace-summary", "FILE",
     "summarize a call trace (TVCVRTRT_TRACE) instead: calls and total time per export",
     [](command_line &line, const char *file) {
         line.job_argument = file;
         line.job = summarize_trace_job;
     }},
    {"--run", "N", "with --trace-summary: only the N-th run of the file (1 for the first)",
     [](command_line &line, const char *number) { line.trace_run = number; }, nullptr, nullptr, "--trace-summary"},
    {"--trace-timeline", "TRACE OUT.json",
     "write a call trace as a timeline for the Perfetto UI or chrome://tracing (Trace Event Format) instead",
     [](command_line &line, const char *trace) {
         line.job_argument = trace;
         line.timeline_output = line.argument_words[1];
         line.job = [](const command_line &parsed) {
             return tvc_trace::write_trace_timeline(parsed.job_argument, parsed.timeline_output, stdout);
         };
     },
     nullptr, "--json --component --load --no-components --trace-summary --run"},
    {"--trace-follow", "FILE",
     "print a call trace's lines as a program writes them, from the file's start, until ended (Ctrl+C); "
     "tail -f shows nothing new on a trace file, which ends in reserved zero bytes",
     [](command_line &line, const char *trace) {
         line.job_argument = trace;
         line.job = [](const command_line &parsed) {
             return tvc_trace::follow_trace(parsed.job_argument, stdout, stderr);
         };
     },
     nullptr, "--json --component --load --no-components --trace-summary --run --trace-timeline"},
    // The child process of --load that reads one type library.
    {read_type_library_option, "LIBRARY", nullptr,
     [](command_line &line, const char *library) {
         line.job_argument = library;
         line.job = [](const command_line &parsed) { return serve_type_library(parsed.job_argument); };
     }},
    // The child process that loads one family library.
    {check_library_option, "FILE", nullptr,
     [](command_line &line, const char *file) {
         line.job_argument = file;
         line.job = [](const command_line &parsed) { return serve_library_check(parsed.job_argument); };
     }},
};

// Whether word is one of the blank-separated words of list.
bool listed(const char *list, const char *word) {
    const std::size_t length = std::strlen(word);
    for (const char *at = list; at != nullptr && *at != '\0'; at += std::strcspn(at, " ")) {
        at += std::strspn(at, " ");
        if (std::strncmp(at, word, length) == 0 && (at[length] == ' ' || at[length] == '\0')) return true;
    }
    return false;
}

const option *find_option(const char *word) {
    for (const option &candidate : options) {
        if (std::strcmp(candidate.name, word) == 0 || listed(candidate.aliases, word)) return &candidate;
    }
    return nullptr;
}

}  // namespace

bool parse_command_line(int argc, char **argv, command_line &line, std::string &error) {
    std::vector<const option *> given;
    for (int index = 1; index < argc; ++index) {
        const option *row = find_option(argv[index]);
        if (row == nullptr) {
            error = std::string("unknown option \"") + argv[index] + "\"";
            return false;
        }
        const char *argument = nullptr;
        if (row->argument != nullptr) {
            const int words = 1 + static_cast<int>(std::count(row->argument, row->argument + std::strlen(row->argument), ' '));
            if (index + words >= argc || std::any_of(argv + index + 1, argv + index + 1 + words,
                                                     [](const char *word) { return word[0] == '\0'; })) {
                error = std::string(row->name) + " needs " + row->argument;
                return false;
            }
            line.argument_words = argv + index + 1;
            argument = argv[index + 1];
            index += words;
        }
        for (const option *earlier : given) {
            if (listed(row->excludes, earlier->name) || listed(earlier->excludes, row->name)) {
                error = std::string(earlier->name) + " and " + row->name + " cannot be used together";
                return false;
            }
        }
        given.push_back(row);
        row->apply(line, argument);
    }
    for (const option *row : given) {
        if (row->needs != nullptr &&
            std::none_of(given.begin(), given.end(), [&](const option *other) { return listed(row->needs, other->name); })) {
            error = std::string(row->name) + " needs " + row->needs;
            return false;
        }
    }
    return true;
}

void print_usage(std::FILE *out) {
    std::fprintf(out, "usage: tvcvrtrt-check");
    for (const option &row : options) {
        if (row.help == nullptr) continue;
        std::fprintf(out, row.argument ? " [%s %s]" : " [%s]", row.name, row.argument);
    }
    std::fprintf(out, "\n");
}

namespace {

// One row of the help: left in a column of width, text beside it wrapped at
// word boundaries to keep every line within 79 columns.
void print_wrapped(std::string left, std::string text, std::size_t width) {
    const std::size_t text_width = 79 - 3 - width;
    while (!text.empty()) {
        std::size_t cut = text.size();
        if (cut > text_width) {
            cut = text.rfind(' ', text_width);
            if (cut == std::string::npos || cut == 0) cut = text_width;
        }
        std::printf("  %-*s %s\n", static_cast<int>(width), left.c_str(), text.substr(0, cut).c_str());
        text.erase(0, std::min(text.size(), cut + (cut < text.size() && text[cut] == ' ')));
        left.clear();
    }
}

}  // namespace

void print_help() {
    print_usage(stdout);
    std::printf(
        "\nChecks the Tovan Compiler Runtime as tvcvrtrt7_17.dll beside this program finds it:\n"
        "that library's path and file version; the six runtime paths and the environment\n"
        "variables that decided them (VRTROOT, TOOLBOXTOVANDIR, TVCVRTRT_VERBOSE,\n"
        "TVCVRTRT_TRACE, and what goes in front of PATH); every family library, loaded by\n"
        "full path from the runtime library directory, with every symbol its binding table\n"
        "needs (all missing symbols and the system's reason for each; for a library that is\n"
        "present but does not load, the libraries it needs that are missing); the registered\n"
        "components of the COM and Excel add-in categories, with classes the library's query\n"
        "passes over and why.\n\nOptions:\n");
    // The option column is as wide as its widest entry.
    const auto left_column = [](const option &row) {
        std::string left = row.argument ? std::string(row.name) + " " + row.argument : row.name;
        if (row.aliases != nullptr) left += std::string(" (or ") + row.aliases + ")";
        return left;
    };
    std::size_t width = 0;
    for (const option &row : options)
        if (row.help != nullptr) width = std::max(width, left_column(row).size());
    for (const option &row : options) {
        if (row.help == nullptr) continue;
        std::string text = row.help;
        if (row.excludes != nullptr) {
            std::string excluded = row.excludes;
            for (std::size_t blank = excluded.find(' '); blank != std::string::npos;
                 blank = excluded.find(' ', blank + 4))
                excluded.replace(blank, 1, " or ");
            text += " (not with " + excluded + ")";
        }
        print_wrapped(left_column(row), text, width);
    }
    std::printf("\nExit status:\n");
    for (const exit_status_row &row : exit_statuses) print_wrapped(std::to_string(row.status), row.meaning, 1);
}

}  // namespace tvc_check
