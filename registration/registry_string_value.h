// Both setters store text the same way: REG_SZ, the string and its NUL.
#pragma once

#include <windows.h>

#include <cstring>

namespace tvc {

// True when the value was stored. value_name null means the default value.
inline bool write_string_value(HKEY key, const char *value_name, const char *value) noexcept {
    const std::size_t bytes = std::strlen(value) + 1;
    if (bytes > MAXDWORD) return false;
    return ::RegSetValueExA(key, value_name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value),
                            static_cast<DWORD>(bytes)) == ERROR_SUCCESS;
}

}  // namespace tvc
