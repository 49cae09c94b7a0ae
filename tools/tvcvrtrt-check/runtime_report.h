// The runtime check as text for a user, or as JSON.
#pragma once

#include <cstdio>

#include "tools/json_writer.h"
#include "tools/tvcvrtrt-check/runtime_check.h"

namespace tvc_check {

void print_text(const runtime_check &check, std::FILE *out);
void print_json(const runtime_check &check, json_writer &json);

}  // namespace tvc_check
