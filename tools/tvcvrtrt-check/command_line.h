// Errors: no routine throws (bad_alloc aside); a failure is text in its result, and the exit status sums them up.
// The command's options: one table, from which the parser, the usage line
// and the help all come.
#pragma once

#include <cstdio>
#include <string>

namespace tvc_check {

// The command's exit statuses, and what each means: the help prints this
// table, and a test compares it with the README's.
constexpr int exit_binds = 0;
constexpr int exit_does_not_bind = 1;
constexpr int exit_bad_arguments = 2;
constexpr int exit_not_written = 3;

struct exit_status_row {
    int status;
    const char *meaning;
};
inline constexpr exit_status_row exit_statuses[] = {
    {exit_binds, "every library loads and every symbol binds (a trace job: it met no error)"},
    {exit_does_not_bind,
     "a library does not load or a symbol does not bind, --load cannot read a type library, or a trace job "
     "met an error (a file not read or written, lines skipped)"},
    {exit_bad_arguments, "a bad command line (one error line and the usage on standard error)"},
    {exit_not_written, "the check's report cannot be written to standard output (a full disk, a closed pipe)"},
};

struct command_line {
    bool help = false;
    bool version = false;
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

// False, with the one-line reason in error, for an unknown option, a
// missing or empty argument, two options that exclude each other, or an
// option without the one it refines. The options are applied to line in
// the order given.
bool parse_command_line(int argc, char **argv, command_line &line, std::string &error);

// The usage line: every option that has a help text.
void print_usage(std::FILE *out);
void print_help();

}  // namespace tvc_check
