#include "tools/tvcvrtrt-check/text.h"

#include <windows.h>

#include <cstddef>
#include <cstdio>

#include "common/unlimited_path.h"

namespace tvc_check {

std::wstring file_system_path(const std::string &path) {
    return tvc::file_system_path(widened(path));
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

namespace {

// The bytes of the character that starts at text[at], in the process code
// page: a double-byte character's two, a UTF-8 sequence's two to four.
std::size_t character_length(const std::string &text, std::size_t at) {
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 1;
    if (GetACP() == CP_UTF8) {
        length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 1;
        if (lead > 0xF4) length = 1;
        for (std::size_t next = 1; next < length; ++next) {
            if (at + next >= text.size() || (static_cast<unsigned char>(text[at + next]) & 0xC0) != 0x80) return 1;
        }
        return length;
    }
    if (IsDBCSLeadByte(lead) && at + 1 < text.size() && text[at + 1] != '\0') length = 2;
    return length;
}

// C0, DEL and C1 (U+0080 to U+009F), as the code page reads the character.
bool control_character(const std::string &text, std::size_t at, std::size_t length) {
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x20 || lead == 0x7F) return true;
    if (lead < 0x80) return false;
    wchar_t wide[2] = {};
    const int units = MultiByteToWideChar(CP_ACP, 0, text.data() + at, static_cast<int>(length), wide, 2);
    return units == 1 && wide[0] >= 0x80 && wide[0] <= 0x9F;
}

}  // namespace

std::string shown(const std::string &text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = character_length(text, at);
        if (text[at] == '\\') {
            // Doubled, so that "\\x1B" in the data never reads as an escape.
            result += "\\\\";
        } else if (control_character(text, at, length)) {
            for (std::size_t byte = 0; byte < length; ++byte) {
                char escape[5];
                std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned char>(text[at + byte]));
                result += escape;
            }
        } else {
            result.append(text, at, length);
        }
        at += length;
    }
    return result;
}

}  // namespace tvc_check
