// The full path of a loaded module, however long: a path is never cut to fit
// a buffer, because a cut path registered as a server names another file.
#pragma once

#include <windows.h>

#include <string>

namespace tvc {

// S_OK with the path; E_UNEXPECTED when the system gives no name, or none
// fits in 32768 characters; E_OUTOFMEMORY when no buffer can be had. The
// first attempt uses initial_capacity characters, doubled while the name
// fills the buffer (the system's sign that it was cut).
HRESULT module_file_path(HMODULE module, std::string &path, DWORD initial_capacity = 512) noexcept;

}  // namespace tvc
