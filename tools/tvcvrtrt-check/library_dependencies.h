// Why a library that is present does not load: its import table, read from
// the file by our own bounded parser (the system's loader says only "Module
// not found" when a library it needs is missing), and where the loader
// would look for each imported library.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tvc_check {

// Each name looked up asks the file system in every place the loader looks
// (a second or more for a PATH of many directories on a slow volume): a
// library whose import table names thousands of missing libraries would
// keep the command for minutes. The lookups stop after this many names or
// this long, whichever comes first; a library that really does not load
// lacks a few.
constexpr int max_names_looked_up = 64;
constexpr unsigned long lookup_time_limit_ms = 10000;

struct import_table {
    std::string problem;  // set when the file is not a readable 64-bit library
    std::vector<std::string> libraries;
};

// Never trusts the file: every offset and count is checked against the
// file's size and against limits no real library reaches.
import_table read_import_table(const std::string &path);

// Where the loader finds a library named name when a library of directory
// asks for it: that directory first, then the system's search order. Empty
// when it is nowhere.
std::string find_library(const std::string &name, const std::string &directory);

// The libraries that the library at path needs, directly or through a
// library beside it, and that are nowhere the loader looks: the library's
// own directory, the system and Windows directories, the working directory
// and PATH. One entry per missing library, "name" or "name (needed by
// other.dll)". problem receives the first import table problem found: the
// library's own, or "a library it needs cannot be used: name (...)". The
// lookups are bounded in number and time; not_looked_up receives how many
// imported names were left out for that.
std::vector<std::string> missing_dependencies(const std::string &path, std::string &problem,
                                              std::size_t &not_looked_up);

}  // namespace tvc_check
