// Narrow text in the process code page. There a character may take two
// bytes, and the second byte can equal an ASCII one: "ソ" in code page 932 is
// 0x83 0x5C, and 0x5C is the backslash. So every decision on a character of
// narrow text walks the text from its start, character by character, and
// stops at the NUL. The C runtime's multibyte functions are not used for it:
// they follow a code page of their own, and some step over the NUL after a
// lead byte that has no trail byte.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace tvc {

// The character after the one at text: two bytes for a lead byte with its
// trail byte, one otherwise. Never past the NUL.
inline const char *next_character(const char *text) noexcept {
    if (*text == '\0') return text;
    if (::IsDBCSLeadByte(static_cast<BYTE>(*text)) && text[1] != '\0') return text + 2;
    return text + 1;
}

// The first or last character of text that is the single-byte character c,
// or null.
const char *find_first_character(const char *text, char c) noexcept;
const char *find_last_character(const char *text, char c) noexcept;

// Whether the last character of text is the single-byte character c.
bool ends_with_character(const char *text, char c) noexcept;

// How many characters the registry and the file system count in text: its
// UTF-16 units once widened from the process code page (a double-byte
// character is one). SIZE_MAX when the text cannot be widened.
std::size_t character_count(const char *text) noexcept;

// Whether text ends in a lead byte with no trail byte before its NUL.
bool ends_in_lone_lead_byte(const char *text) noexcept;

// Whether two names are the same to the file system and the registry:
// compared ordinally without regard to case, as both compare names (narrow
// text widened first). A name of up to 260 characters is compared without
// taking memory; a longer one for which no memory can be had, and narrow text
// that cannot be widened, compare unequal.
bool same_name_ignoring_case(std::wstring_view a, std::wstring_view b) noexcept;
bool same_name_ignoring_case(std::string_view a, std::string_view b) noexcept;

// What widening does with bytes that form no character of the code page:
// the code page's replacement stands in their place, or the text is refused.
enum class invalid_bytes { replaced, refused };

// Text widened from the process code page; false when the code page's tables
// refuse it. widened answers such text with an empty string.
bool widen(const char *text, std::size_t bytes, std::wstring &wide,
           invalid_bytes invalid = invalid_bytes::replaced);
inline std::wstring widened(const std::string &text) {
    std::wstring wide;
    return widen(text.data(), text.size(), wide) ? wide : std::wstring();
}

// Text narrowed to the process code page. A character without a form there
// becomes the code page's default character; lossless, when given, then
// turns false. No best-fit substitutes: a look-alike would name another file.
std::string narrowed(const std::wstring &text, bool *lossless = nullptr);

// A path narrowed to the process code page without loss. When a character
// of it has no equivalent there, the path's short (8.3) form is taken if the
// volume has one and it narrows without loss. A path with "?" in place of a
// character names no file, so it is never given out. Returns ERROR_SUCCESS,
// ERROR_NO_UNICODE_TRANSLATION, or ERROR_OUTOFMEMORY. On a volume without
// short names the system's lookup gives the long name back, and the path is
// refused; short_path stands in for the lookup in tests.
using short_path_lookup = DWORD(WINAPI *)(const wchar_t *path, wchar_t *short_path, DWORD size);
DWORD narrow_path(const wchar_t *path, std::string &narrow, short_path_lookup short_path = ::GetShortPathNameW) noexcept;

// The module's full file name, however long, as the system gives it (in the
// form the module was loaded by). The first attempt uses initial_capacity
// characters, doubled while the name fills the buffer (the system's sign that
// it was cut). Returns ERROR_SUCCESS, ERROR_OUTOFMEMORY, or
// ERROR_FILENAME_EXCED_RANGE when the system gives no name that fits in 32768
// characters (or none at all).
DWORD module_file_name(HMODULE module, std::wstring &name, DWORD initial_capacity = MAX_PATH) noexcept;

// The module's file name narrowed as narrow_path does. Returns what
// module_file_name returns on failure, else what narrow_path returns.
DWORD module_path_in_code_page(HMODULE module, std::string &path,
                               DWORD initial_capacity = MAX_PATH) noexcept;

// Where narrow_into puts the NUL: after the text when there is room for it,
// as wcstombs does (a buffer the text fills receives exactly size bytes and
// no NUL); or always, the text then cut a character earlier to make room, as
// a fixed field of a record needs.
enum class nul_rule { when_room, always };

// Narrows text into buffer, at most size bytes, a whole character at a time
// (a surrogate pair is one character): it stops before a character that
// does not fit, so a double-byte character is never cut in half. A
// character the code page lacks becomes its default character. Null text
// is empty text. Returns the bytes stored, without the NUL; with a null
// buffer, nothing is stored and the result is the bytes the whole text
// needs, as wcstombs answers.
std::size_t narrow_into(char *buffer, std::size_t size, const wchar_t *text, nul_rule nul = nul_rule::when_room,
                        UINT code_page = CP_ACP) noexcept;

}  // namespace tvc
