// Key paths under HKEY_CLASSES_ROOT are composed in a fixed 1024-byte buffer;
// a path that does not fit is refused rather than cut, since a cut path would
// name a different key.
#pragma once

#include <cstddef>

namespace tvc {

struct registry_key_path {
    static constexpr std::size_t capacity = 1024;  // 1023 characters and the NUL
    char text[capacity];
};

// base, then a backslash and child when child is not null. False, with an
// empty result, when base is null or the whole path exceeds 1023 characters.
bool compose_key_path(registry_key_path &out, const char *base, const char *child) noexcept;

}  // namespace tvc
