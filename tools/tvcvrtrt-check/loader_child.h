// The child that loads one family library, by file name, through the
// library's own loader and looks up every symbol of its binding table: the
// check of each library runs in a child of its own (bounded_child.h).
#pragma once

namespace tvc_check {

// The hidden option that makes the command this child.
constexpr const char check_library_option[] = "--check-library";

// The child's side: writes the loader answer (loader_answer.h) to standard
// output and returns the exit status.
int serve_library_check(const char *file);

}  // namespace tvc_check
