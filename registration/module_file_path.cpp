#include "registration/module_file_path.h"

#include <new>

namespace tvc {

namespace {
// The longest path the system's file functions can take, with its NUL.
constexpr DWORD largest_capacity = 32768;
}  // namespace

HRESULT module_file_path(HMODULE module, std::string &path, DWORD initial_capacity) noexcept {
    try {
        DWORD capacity = initial_capacity > 0 ? initial_capacity : 1;
        for (;;) {
            path.assign(capacity, '\0');
            const DWORD length = ::GetModuleFileNameA(module, &path[0], capacity);
            if (length == 0) break;
            if (length < capacity) {
                path.resize(length);
                return S_OK;
            }
            if (capacity >= largest_capacity) break;
            capacity = capacity * 2 < largest_capacity ? capacity * 2 : largest_capacity;
        }
    } catch (const std::bad_alloc &) {
        path.clear();
        return E_OUTOFMEMORY;
    }
    path.clear();
    return E_UNEXPECTED;
}

}  // namespace tvc
