// Starts a program in a child process and collects what it writes to its
// standard output until it ends: the diagnostic command's children (its
// loader and its type library reader) and the tests' children start here.
// The wait is always bounded; on request the child is bounded in memory too.
#pragma once

#include <cstddef>
#include <string>

namespace tvc {

struct child_request {
    std::wstring command_line;  // the program, then its arguments, quoted as needed
    unsigned long time_limit_ms = 0;
    // Non-zero: the child starts suspended in a job object that holds it (and
    // what it starts) to this commit charge and ends whatever is left of it
    // when the run ends; its output is held to a bound as well. Zero: no job.
    std::size_t memory_limit = 0;
    const void *environment = nullptr;  // a block, or null for this process's
    bool wide_environment = false;
    const wchar_t *working_dir = nullptr;  // null: this process's
};

struct child_outcome {
    bool started = false;
    unsigned long start_error = 0;  // the system's code when it did not start
    bool timed_out = false;         // ended by the parent at the time limit
    bool over_memory_limit = false;
    unsigned long status = 0;  // exit status; a crash shows as its exception code
    std::string output;        // standard output, byte for byte
};

// Standard input and standard error are this process's.
child_outcome run_child_process(child_request request);

}  // namespace tvc
