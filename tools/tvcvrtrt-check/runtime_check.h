// Where the runtime is, as tvcvrtrt7_17.dll works it out, and whether each
// family library loads and has every symbol of its binding table. The pieces:
// front_library.h, environment_effects.h, location_notes.h, library_check.h
// (with the loader child, loader_child.h, and its answer, loader_answer.h);
// the report, runtime_report.h.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace tvc_check {

struct environment_variable {
    std::string name;
    bool set = false;
    std::string value;
    std::string effect;  // what the variable did, or why it did nothing
};

struct missing_symbol {
    std::string symbol;
    std::string reason;   // the system's text
    std::string message;  // the library's own message for this failure
};

struct library_check {
    const char *family = "";
    const char *file = "";
    std::string path;
    bool loaded = false;
    std::string load_message;  // the library's own message when it did not load
    std::string load_reason;   // the system's text for it
    std::string cause;         // why a library that is present did not load
    std::vector<std::string> missing_dependencies;
    std::size_t symbol_count = 0;
    std::vector<missing_symbol> missing;
};

// The tvcvrtrt7_17.dll beside this program, whose location code the check
// runs (the command is built from the same sources).
struct front_library {
    std::string path;
    bool found = false;
    std::string file_version;  // from its version resource
};

struct runtime_check {
    front_library library;
    std::string location_error;  // set when no runtime root could be found
    std::vector<std::string> notes;  // what a path or a failure above means
    std::vector<std::pair<const char *, std::string>> paths;
    std::vector<environment_variable> environment;
    std::vector<library_check> libraries;

    bool everything_binds() const;
};

// The tool lies beside tvcvrtrt7_17.dll, so its own directory stands for
// the library's: the paths come out as the library computes them.
runtime_check check_runtime();

}  // namespace tvc_check
