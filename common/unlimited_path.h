// Paths for the wide file functions at any length. Without the "\\?\" form
// a path is cut, or refused, at MAX_PATH characters.
#pragma once

#include <string>

namespace tvc {

// The full path of name, however long; empty when the system cannot make one.
std::wstring full_path(const std::wstring &name);

// The full path of name in the form that is not limited to MAX_PATH: "\\?\"
// before a drive path, "\\?\UNC\" in place of a share's leading "\\". A path
// already in that form and a device name ("\\.\pipe\...", "NUL") stay as
// the system makes them full; name itself when the system cannot.
std::wstring unlimited_path(const std::wstring &name);

// The ordinary form of a name in the unlimited form: "X:\..." for
// "\\?\X:\...", "\\server\..." for "\\?\UNC\server\...", every other
// character kept, however long. The system returns a module's name in the
// form it was loaded by, and in the unlimited form ".." is a name like any
// other, so a directory composed from it with ".." would name nothing. Any
// other name is given back as it is: a name without the prefix, and one in
// the device form ("\\?\Volume{...}\"), which has no ordinary form.
std::wstring ordinary_path(const std::wstring &name);

// A path for the wide file functions: a short one as it is, one that could
// reach MAX_PATH (a directory's limit is 12 characters less, to leave room
// for a file name) in the unlimited form.
std::wstring file_system_path(const std::wstring &name);

}  // namespace tvc
