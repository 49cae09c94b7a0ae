// The PATH rule of process attach: the runtime library directory goes in
// front of PATH.
#pragma once

#include <string>

namespace tvc {

// PATH becomes "<runtime library directory>;<old PATH>", or the directory
// alone when PATH is unset or empty, so that the runtime's libraries, and
// what they load in turn, resolve there. PATH is read and written in wide
// characters, in the process environment and in the C runtime's copy alike,
// so every other entry keeps every character. PATH stays exactly as it was
// when its first element already names the directory by an absolute path (a
// reload, or the same directory spelled differently, its long-path form
// included; a relative element such as "." names another directory once the
// process changes its own), when the directory's name holds ";" (no
// element of PATH can name it), and when the result would exceed the
// variable's 32,767 characters; the verbose report says so for the last two.
// May throw std::bad_alloc.
void prefix_path_with_runtime_lib_dir();

// What PATH becomes when dir is put in front of old_path (null: unset), with
// the rules above; new_path is written only for put_in_front. The diagnostic
// command asks the same question without changing its own PATH.
enum class path_prefix { put_in_front, already_in_front, does_not_fit, name_holds_separator };
path_prefix prefixed_path(const wchar_t *old_path, const wchar_t *dir, std::wstring &new_path);

// PATH of the process environment, or false when it is unset.
bool read_path_variable(std::wstring &path);

// Whether two directory names name the same directory: compared as full
// paths (the long form where the directory exists), without regard to case,
// to "/" for "\\", or to a trailing separator.
bool same_directory(const std::wstring &a, const std::wstring &b);

}  // namespace tvc
