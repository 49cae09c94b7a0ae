// The loader child's answer, one record a line: how the child writes what it
// found, and how the parent reads it back into library (false, with the
// library not loaded, for an answer the child does not write: cut short,
// with an unknown record, or with a record of the wrong length).
#pragma once

#include <windows.h>

#include <string>

#include "tools/tvcvrtrt-check/runtime_check.h"

namespace tvc_check {

// The loader child's exit statuses; any other is the code of the exception
// that ended it.
constexpr DWORD child_answered = 0;
constexpr DWORD child_refused = 1;

std::string loader_answer(const library_check &library);
bool read_loader_answer(const std::string &answer, library_check &library);

}  // namespace tvc_check
