#include "common/code_page_text.h"

#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>

namespace tvc {

const char *find_first_character(const char *text, char c) noexcept {
    for (const char *at = text; *at != '\0'; at = next_character(at)) {
        if (*at == c) return at;
    }
    return nullptr;
}

const char *find_last_character(const char *text, char c) noexcept {
    const char *found = nullptr;
    for (const char *at = text; *at != '\0'; at = next_character(at)) {
        if (*at == c) found = at;
    }
    return found;
}

bool ends_with_character(const char *text, char c) noexcept {
    const char *last = nullptr;
    for (const char *at = text; *at != '\0'; at = next_character(at)) last = at;
    // A two-byte character starts with a lead byte, never with an ASCII one.
    return last != nullptr && *last == c;
}

std::size_t character_count(const char *text) noexcept {
    if (*text == '\0') return 0;
    const int units = ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    return units > 0 ? static_cast<std::size_t>(units) - 1 : SIZE_MAX;
}

bool ends_in_lone_lead_byte(const char *text) noexcept {
    const char *at = text;
    while (*at != '\0') {
        const char *next = next_character(at);
        if (next == at + 1 && ::IsDBCSLeadByte(static_cast<BYTE>(*at))) return true;
        at = next;
    }
    return false;
}

bool widen(const char *text, std::size_t bytes, std::wstring &wide, invalid_bytes invalid) {
    if (bytes == 0) {
        wide.clear();
        return true;
    }
    if (bytes > 0x7fffffff) return false;
    const DWORD flags = invalid == invalid_bytes::refused ? MB_ERR_INVALID_CHARS : 0;
    const int length = ::MultiByteToWideChar(CP_ACP, flags, text, static_cast<int>(bytes), nullptr, 0);
    if (length <= 0) return false;
    wide.resize(static_cast<std::size_t>(length));
    return ::MultiByteToWideChar(CP_ACP, flags, text, static_cast<int>(bytes), &wide[0], length) == length;
}

std::string narrowed(const std::wstring &text, bool *lossless) {
    // The code page's own rules: UTF-8 loses nothing and takes no flags.
    const bool utf8 = ::GetACP() == CP_UTF8;
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL lost = FALSE;
    BOOL *lost_flag = utf8 ? nullptr : &lost;
    std::string narrow;
    if (!text.empty() && text.size() <= 0x7fffffff) {
        const int wide_length = static_cast<int>(text.size());
        const int length =
            ::WideCharToMultiByte(CP_ACP, flags, text.data(), wide_length, nullptr, 0, nullptr, lost_flag);
        if (length > 0) {
            narrow.resize(static_cast<std::size_t>(length));
            if (::WideCharToMultiByte(CP_ACP, flags, text.data(), wide_length, &narrow[0], length, nullptr,
                                      lost_flag) != length)
                lost = TRUE;
        } else {
            lost = TRUE;
        }
    } else if (!text.empty()) {
        lost = TRUE;
    }
    if (lossless != nullptr) *lossless = !lost;
    return narrow;
}

namespace {

// False when a character has no equivalent in the code page (it would come
// out as the default character, "?").
bool narrow_without_loss(const wchar_t *wide, std::string &narrow) {
    bool lossless = false;
    narrow = narrowed(wide, &lossless);
    return lossless;
}

}  // namespace

namespace {

// Narrow text widened for a comparison: in place when it is as short as a
// path or a key name is, so that such a comparison needs no memory.
class comparable_text {
public:
    explicit comparable_text(std::string_view text) noexcept {
        if (text.empty()) return;
        if (text.size() > 0x7fffffff) {
            valid_ = false;
            return;
        }
        const int bytes = static_cast<int>(text.size());
        const int length = ::MultiByteToWideChar(CP_ACP, 0, text.data(), bytes, nullptr, 0);
        wchar_t *target = in_place_;
        if (length > static_cast<int>(std::size(in_place_))) {
            on_heap_.reset(new (std::nothrow) wchar_t[static_cast<std::size_t>(length)]);
            target = on_heap_.get();
        }
        valid_ = length > 0 && target != nullptr &&
                 ::MultiByteToWideChar(CP_ACP, 0, text.data(), bytes, target, length) == length;
        if (valid_) wide_ = std::wstring_view(target, static_cast<std::size_t>(length));
    }
    bool valid() const noexcept { return valid_; }
    std::wstring_view wide() const noexcept { return wide_; }

private:
    wchar_t in_place_[MAX_PATH + 1];
    std::unique_ptr<wchar_t[]> on_heap_;
    std::wstring_view wide_;
    bool valid_ = true;
};

}  // namespace

bool same_name_ignoring_case(std::wstring_view a, std::wstring_view b) noexcept {
    // The case mapping is one unit for one unit: names of different lengths differ.
    if (a.size() != b.size() || a.size() > 0x7fffffff) return false;
    if (a.empty()) return true;
    return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

bool same_name_ignoring_case(std::string_view a, std::string_view b) noexcept {
    const comparable_text wide_a(a), wide_b(b);
    return wide_a.valid() && wide_b.valid() && same_name_ignoring_case(wide_a.wide(), wide_b.wide());
}

DWORD narrow_path(const wchar_t *path, std::string &narrow, short_path_lookup short_path_of) noexcept {
    try {
        if (narrow_without_loss(path, narrow)) return ERROR_SUCCESS;
        const DWORD needed = short_path_of(path, nullptr, 0);
        if (needed != 0) {
            std::wstring short_path(needed, L'\0');
            const DWORD length = short_path_of(path, &short_path[0], needed);
            if (length != 0 && length < needed) {
                short_path.resize(length);
                if (narrow_without_loss(short_path.c_str(), narrow)) return ERROR_SUCCESS;
            }
        }
        narrow.clear();
        return ERROR_NO_UNICODE_TRANSLATION;
    } catch (const std::bad_alloc &) {
        narrow.clear();
        return ERROR_OUTOFMEMORY;
    }
}

DWORD module_file_name(HMODULE module, std::wstring &name, DWORD initial_capacity) noexcept {
    // The longest path the system's file functions can take, with its NUL.
    constexpr DWORD largest_capacity = 32768;
    name.clear();
    try {
        DWORD capacity = initial_capacity > 0 ? initial_capacity : 1;
        for (;;) {
            name.assign(capacity, L'\0');
            const DWORD length = ::GetModuleFileNameW(module, &name[0], capacity);
            if (length == 0) break;
            if (length < capacity) {
                name.resize(length);
                return ERROR_SUCCESS;
            }
            if (capacity >= largest_capacity) break;
            capacity = capacity * 2 < largest_capacity ? capacity * 2 : largest_capacity;
        }
    } catch (const std::bad_alloc &) {
        name.clear();
        return ERROR_OUTOFMEMORY;
    }
    name.clear();
    return ERROR_FILENAME_EXCED_RANGE;
}

DWORD module_path_in_code_page(HMODULE module, std::string &path, DWORD initial_capacity) noexcept {
    path.clear();
    std::wstring wide;
    const DWORD found = module_file_name(module, wide, initial_capacity);
    return found == ERROR_SUCCESS ? narrow_path(wide.c_str(), path) : found;
}

std::size_t narrow_into(char *buffer, std::size_t size, const wchar_t *text, nul_rule nul,
                        UINT code_page) noexcept {
    // Without a buffer the text is only measured.
    std::size_t room = buffer == nullptr ? SIZE_MAX : size;
    if (buffer != nullptr && nul == nul_rule::always) {
        if (size == 0) return 0;
        room = size - 1;
    }
    std::size_t used = 0;
    for (const wchar_t *c = text; c != nullptr && *c != L'\0';) {
        const int units = IS_HIGH_SURROGATE(c[0]) && IS_LOW_SURROGATE(c[1]) ? 2 : 1;
        char piece[8];
        int length = 1;
        if (*c < 0x80) {
            piece[0] = static_cast<char>(*c);  // the same in every ANSI code page
        } else {
            length = ::WideCharToMultiByte(code_page, 0, c, units, piece, sizeof piece, nullptr, nullptr);
            if (length <= 0) {
                piece[0] = '?';
                length = 1;
            }
        }
        if (used + static_cast<std::size_t>(length) > room) break;
        if (buffer != nullptr) std::memcpy(buffer + used, piece, static_cast<std::size_t>(length));
        used += static_cast<std::size_t>(length);
        c += units;
    }
    if (buffer != nullptr && used < size) buffer[used] = '\0';
    return used;
}

}  // namespace tvc
