// Work of the command that another program's code does, and that can crash,
// hang or eat memory (the system's loader on a damaged library, a type
// library reader on a damaged file), runs in a child process: the command
// starts itself again with a hidden option. The child is bounded in time
// and in memory and ends with the command at the latest (a job object with
// kill-on-close), so the worst it can cost the command is that one answer.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tvc_check {

// The most memory a child may take, and how the command writes it. No real
// library or type library needs a tenth of it; a reader that loops on a
// damaged file reaches it in seconds.
constexpr std::size_t child_memory_limit = std::size_t{1} << 30;
constexpr const char child_memory_limit_text[] = "1 GB";

struct child_run {
    bool started = false;
    bool timed_out = false;
    bool over_memory_limit = false;
    unsigned long status = 0;  // the child's exit status when it ended by itself
    std::string answer;        // everything it wrote to its standard output
};

// Runs command_line, a program and its arguments, with its standard output
// read into the answer, and ends it (with every process it started) once it
// runs longer than time_limit_ms or uses more than memory_limit bytes.
child_run run_bounded_child(std::wstring command_line, unsigned long time_limit_ms,
                            std::size_t memory_limit = child_memory_limit);

// The command line that starts this program with a hidden option and its argument.
std::wstring own_command_line(const char *option, const std::string &argument);

// The child's side, first thing: a crash ends the child with the exception's
// code as its status (the system's crash handling might start a debugger
// and wait); its standard output is binary and not handed to processes it
// starts, so that the answer ends with the child.
void become_bounded_child();

// Whether an exit status is the code of an exception rather than a status
// the child chose (those are small numbers).
inline bool is_exception_code(unsigned long status) { return status >= 0x80000000UL; }

// "0xC0000005": a status as the platform writes an exception code.
std::string status_text(unsigned long status);

// The wire from child to parent: one record a line, fields separated by
// tabs, each field with its backslashes, tabs and line breaks escaped.
std::string fields_line(const std::vector<std::string> &fields);
void write_fields(const std::vector<std::string> &fields);
std::vector<std::string> fields_of(const std::string &line);

// The answer's lines; false when its last line is not complete.
bool lines_of(const std::string &answer, std::vector<std::vector<std::string>> &lines);

}  // namespace tvc_check
