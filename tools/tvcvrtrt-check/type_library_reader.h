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

// The records of one type library, as the library's query gave them.
type_library_record from_records(const componentInfo &component);

}  // namespace tvc_check
