#include "tools/tvcvrtrt-check/text.h"

#include <windows.h>

#include <cstdio>

namespace tvc_check {

std::wstring file_system_path(const std::string &path) {
    std::wstring wide = widened(path);
    const bool drive_absolute = wide.size() > 2 && wide[1] == L':' && (wide[2] == L'\\' || wide[2] == L'/');
    if (wide.size() >= MAX_PATH && drive_absolute) wide.insert(0, L"\\\\?\\");
    return wide;
}

bool file_exists(const std::string &path) {
    if (path.empty()) return false;
    const DWORD attributes = GetFileAttributesW(file_system_path(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::wstring program_path() {
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    path.resize(length < path.size() ? length : 0);
    return path;
}

std::wstring program_directory() {
    const std::wstring path = program_path();
    return path.substr(0, path.find_last_of(L'\\') + 1);
}

std::string hresult_text(long result) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(result));
    return text;
}

std::string shown(const std::string &text) {
    std::string result;
    result.reserve(text.size());
    for (const char character : text) {
        const unsigned char code = static_cast<unsigned char>(character);
        if (code < 0x20 || code == 0x7F) {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02X", code);
            result += escape;
        } else {
            result += character;
        }
    }
    return result;
}

}  // namespace tvc_check
