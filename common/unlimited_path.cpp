#include "common/unlimited_path.h"

#include <windows.h>

#include <string_view>

namespace tvc {

std::wstring full_path(const std::wstring &name) {
    std::wstring full;
    DWORD size = ::GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
    while (size > full.size()) {
        full.resize(size);
        size = ::GetFullPathNameW(name.c_str(), size, full.data(), nullptr);
    }
    full.resize(size);
    return full;
}

std::wstring unlimited_path(const std::wstring &name) {
    const std::wstring full = full_path(name);
    if (full.empty()) return name;
    if (full.rfind(L"\\\\?\\", 0) == 0 || full.rfind(L"\\\\.\\", 0) == 0) return full;
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::wstring ordinary_path(const std::wstring &name) {
    constexpr std::wstring_view prefix = L"\\\\?\\";
    if (name.compare(0, prefix.size(), prefix) != 0) return name;
    const std::wstring_view rest = std::wstring_view(name).substr(prefix.size());
    const auto is_letter = [](wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); };
    if (rest.size() >= 3 && is_letter(rest[0]) && rest[1] == L':' && rest[2] == L'\\') return std::wstring(rest);
    // The system reads "UNC" without regard to case; a share needs a server.
    constexpr std::wstring_view unc = L"UNC\\";
    if (rest.size() > unc.size() && ::CompareStringOrdinal(rest.data(), 4, unc.data(), 4, TRUE) == CSTR_EQUAL &&
        rest[unc.size()] != L'\\') {
        return L"\\\\" + std::wstring(rest.substr(unc.size()));
    }
    return name;
}

std::wstring file_system_path(const std::wstring &name) {
    return name.size() < MAX_PATH - 12 ? name : unlimited_path(name);
}

}  // namespace tvc
