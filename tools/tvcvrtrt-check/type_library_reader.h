// Reading one type library file for --load, in a child process: the command
// starts itself again with a hidden option; the child reads the file through
// the library's query and writes the records to its standard output, one
// line each. A child that crashes, stops answering or goes past its memory
// limit costs the parent that one type library (tools/tvcvrtrt-check/bounded_child.h).
#pragma once

#include <string>

#include "tools/tvcvrtrt-check/component_listing.h"

struct componentInfo;

namespace tvc_check {

// The hidden option and its argument, "{LIBID}/major.minor".
constexpr const char read_type_library_option[] = "--read-type-library";

// The child's side: reads the type library version named by argument and
// writes it to standard output. Returns the child's exit status.
int serve_type_library(const char *argument);

// The parent's side: fills library's classes and version from a child, or
// sets library.read_error.
void read_in_child(type_library_record &library);

// The child's answer: how the child writes a type library's records, one a
// line (record_schema.h), and how the parent reads them back; false for an
// answer the child does not write (cut short, an unknown record, a record
// of the wrong length). error: the child's reason when it could not read.
std::string library_answer(const type_library_record &library);
bool read_library_answer(const std::string &answer, type_library_record &library, std::string &error);

// The records of one type library, as the library's query gave them.
type_library_record from_records(const componentInfo &component);

}  // namespace tvc_check
