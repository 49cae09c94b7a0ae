// The registry routines through which all registration writing and removal
// goes. Paths are relative to HKEY_CLASSES_ROOT (the 64-bit view in a 64-bit
// process); values are REG_SZ with their terminating NUL. Nothing throws.
#pragma once

#include <windows.h>

#include <cstddef>

namespace tvc {

// Key paths are composed in a fixed 1024-byte buffer; a path that does not
// fit is refused rather than cut, since a cut path would name a different key.
struct registry_key_path {
    static constexpr std::size_t capacity = 1024;  // 1023 characters and the NUL
    char text[capacity];
};

// base, then a backslash and child when child is not null. False, with an
// empty result, when base is null or the whole path exceeds 1023 characters.
bool compose_key_path(registry_key_path &out, const char *base, const char *child) noexcept;

// Creates or opens key_path, or key_path\child when child is not null, and
// sets its default value when value is not null (a null value leaves an
// existing default untouched). False when the path is too long, the key
// cannot be created or opened, or the value cannot be written.
bool set_key_and_value(const char *key_path, const char *child, const char *value) noexcept;

// Writes value under value_name in an existing key; never creates the key.
// False when the path is too long, the key cannot be opened, or the value
// cannot be written. A null value only tests that the key can be opened.
bool set_named_value(const char *key_path, const char *value_name, const char *value) noexcept;

// Removes sub_key of parent and everything below it, children first. Returns
// the first Win32 error met (ERROR_FILE_NOT_FOUND when sub_key is missing).
// A null or empty sub_key, or one starting with a backslash, could name
// parent itself and is refused with ERROR_INVALID_PARAMETER; a sub_key over 1023 characters with
// ERROR_FILENAME_EXCED_RANGE.
LONG delete_key_tree(HKEY parent, const char *sub_key) noexcept;

}  // namespace tvc
