// How a runtime path is filled: a candidate directory is composed, resolved
// to a full path and kept only when it names an existing directory.
#pragma once

#include "bootstrap/runtime_paths.h"

#include <initializer_list>

namespace tvc {

// Appends text when the result and its NUL fit; otherwise leaves the buffer
// unchanged and returns false.
bool append_bounded(runtime_path &buffer, const char *text);

// Appends a backslash unless the buffer already ends in one; false when it
// does not fit.
bool end_with_backslash(runtime_path &buffer);

// Resolves candidate into target (an empty candidate names the current
// directory), ends it with a backslash, and accepts it when it is an existing
// directory.
bool offer_candidate(runtime_path &target, const char *candidate);

enum class trailing_backslash { yes, no };

// base\component\...[\] in composed. A result that would not fit is refused
// (false, composed empty) rather than truncated: a cut-off path could name a
// different, existing directory.
bool compose_candidate(runtime_path &composed, const char *base,
                       std::initializer_list<const char *> components,
                       trailing_backslash trailing = trailing_backslash::yes);

// Composes and offers in one go; a candidate that cannot be composed is
// rejected like a missing directory.
bool offer_composed(runtime_path &target, const char *base,
                    std::initializer_list<const char *> components,
                    trailing_backslash trailing = trailing_backslash::yes);

}  // namespace tvc
