#include "common/unlimited_path.h"

#include <windows.h>

namespace tvc {

std::wstring unlimited_path(const std::wstring &name) {
    std::wstring full;
    DWORD size = ::GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
    while (size > full.size()) {
        full.resize(size);
        size = ::GetFullPathNameW(name.c_str(), size, full.data(), nullptr);
    }
    if (size == 0) return name;
    full.resize(size);
    if (full.rfind(L"\\\\?\\", 0) == 0 || full.rfind(L"\\\\.\\", 0) == 0) return full;
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::wstring file_system_path(const std::wstring &name) {
    return name.size() < MAX_PATH - 12 ? name : unlimited_path(name);
}

}  // namespace tvc
