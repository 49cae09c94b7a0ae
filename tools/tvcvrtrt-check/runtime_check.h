// Where the runtime is, as tvcvrtrt7_17.dll works it out, and whether each
// family library loads and has every symbol of its binding table.
#pragma once

#include <cstdio>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "tools/json_writer.h"

namespace tvc_check {

struct environment_variable {
    const char *name = "";
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

// The hidden option of the child that loads one family library, by file
// name, and looks up its symbols (the check of each library runs in a child
// of its own), and the child's side.
constexpr const char check_library_option[] = "--check-library";
int serve_library_check(const char *file);

// The loader child's answer, one record a line: how the child writes what it
// found, and how the parent reads it back into library (false, with the
// library not loaded, for an answer the child does not write: cut short,
// with an unknown record, or with a record of the wrong length).
std::string loader_answer(const library_check &library);
bool read_loader_answer(const std::string &answer, library_check &library);

// The tool lies beside tvcvrtrt7_17.dll, so its own directory stands for
// the library's: the paths come out as the library computes them.
runtime_check check_runtime();

void print_text(const runtime_check &check, std::FILE *out);
void print_json(const runtime_check &check, json_writer &json);

}  // namespace tvc_check
