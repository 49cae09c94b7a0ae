// Why a library that is present does not load: its import table, read from
// the file by our own bounded parser (the system's loader says only "Module
// not found" when a library it needs is missing), and where the loader
// would look for each imported library.
#pragma once

#include <string>
#include <vector>

namespace tvc_check {

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
// library's own, or "a library it needs cannot be used: name (...)".
std::vector<std::string> missing_dependencies(const std::string &path, std::string &problem);

}  // namespace tvc_check
