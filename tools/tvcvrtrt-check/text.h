// Text at the command's boundaries. Narrow text is in the process code page,
// as the registry's narrow functions and the library's records give it, and
// changes width only through the code page's own tables (CP_ACP), never the
// C runtime's locale.
#pragma once

#include <string>

#include "common/code_page_text.h"

namespace tvc_check {

// Conversions through the process code page, as the library makes them.
using tvc::narrowed;
using tvc::widened;

// A file path for the wide file functions: a long one as its full path with
// the \\?\ prefix (tvc::unlimited_path), so that no path is cut at MAX_PATH.
std::wstring file_system_path(const std::string &path);

bool file_exists(const std::string &path);

// The full path of this program and its directory (ending in a backslash),
// wide: the directory's name need not fit the code page.
std::wstring program_path();
std::wstring program_directory();

// An HRESULT as the platform writes it, 0x and eight hexadecimal digits.
std::string hresult_text(long result);

// Text from the registry, a type library or the environment as it may be
// written to a terminal: control characters (C0, DEL and C1) as \xNN, one
// escape per byte, so that a value cannot move the cursor, retitle or
// recolour the terminal; and "\\" as "\\\\", so that an escape and the same
// text in the data differ.
std::string shown(const std::string &text);
inline std::string shown(const char *text) { return shown(std::string(text)); }

}  // namespace tvc_check
