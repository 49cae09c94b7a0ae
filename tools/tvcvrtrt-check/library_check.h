// The parent's side of one family library's check: the loader child's
// launch and bounds, and, for a library that is present but did not load,
// the cause (a missing library it imports).
#pragma once

#include "tools/tvcvrtrt-check/family_symbols.h"
#include "tools/tvcvrtrt-check/runtime_check.h"

namespace tvc_check {

library_check check_library(const family_table &table, const char *runtime_lib_dir);

}  // namespace tvc_check
