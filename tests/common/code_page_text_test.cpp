#include "common/code_page_text.h"
#include "common/unlimited_path.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

// What the system's formatting call leaves when it cannot allocate (null
// text), and the two rules for the NUL when the text fills the buffer.
TEST(NarrowText, NullTextIsEmptyAndTheNulRuleDecidesWhereAFullBufferEnds) {
    using tvc::nul_rule;
    const struct {
        const wchar_t *text;
        std::size_t size;
        nul_rule nul;
        std::size_t stored;
        std::string buffer;
    } cases[] = {
        {nullptr, 8, nul_rule::when_room, 0, std::string("\0#######", 8)},
        {nullptr, 0, nul_rule::when_room, 0, "########"},
        {nullptr, 0, nul_rule::always, 0, "########"},
        {L"text", 3, nul_rule::when_room, 3, "tex#####"},
        {L"text", 4, nul_rule::when_room, 4, "text####"},
        {L"text", 4, nul_rule::always, 3, std::string("tex\0####", 8)},
    };
    for (const auto &c : cases) {
        std::string b(8, '#');
        EXPECT_EQ(tvc::narrow_into(b.data(), c.size, c.text, c.nul), c.stored) << c.size;
        EXPECT_EQ(b, c.buffer) << c.size;
    }
    // No buffer: the bytes the whole text needs, as wcstombs measures.
    EXPECT_EQ(tvc::narrow_into(nullptr, 2, L"text"), 4u);
    EXPECT_EQ(tvc::narrow_into(nullptr, 8, nullptr), 0u);
}

// Names as the registry and the file system compare them (code page 1252 in
// the test prefix); a long name takes the path that needs memory.
TEST(NarrowText, NamesCompareOrdinallyIgnoringCaseAndPathsTakeTheUnlimitedForm) {
    const std::string long_name(300, 'n'), long_upper(300, 'N');
    const struct {
        std::string a, b;
        bool same;
    } names[] = {
        {"CLSID", "clsid", true}, {"CLSID", "CLSI", false}, {"", "", true},
        {"\xC4pfel", "\xE4PFEL", true}, {long_name, long_upper, true}, {long_name, long_name + "n", false},
    };
    for (const auto &c : names) EXPECT_EQ(tvc::same_name_ignoring_case(c.a, c.b), c.same) << c.a << " " << c.b;
    EXPECT_TRUE(tvc::same_name_ignoring_case(std::wstring_view(L"C:\\Dir"), std::wstring_view(L"c:\\DIR")));

    const struct {
        const wchar_t *path, *unlimited;
    } paths[] = {
        {L"C:\\a\\..\\b.txt", L"\\\\?\\C:\\b.txt"},
        {L"\\\\server\\share\\f", L"\\\\?\\UNC\\server\\share\\f"},
        {L"\\\\.\\pipe\\p", L"\\\\.\\pipe\\p"},
    };
    for (const auto &c : paths) EXPECT_EQ(tvc::unlimited_path(c.path), c.unlimited);
}

// A module's name as a long-path-aware host's load gives it back: the
// ordinary form keeps every character, past MAX_PATH too, and a device name
// or an incomplete one stays as it is.
TEST(NarrowText, UnlimitedNamesTakeTheOrdinaryForm) {
    const std::wstring long_dir = L"\\" + std::wstring(300, L'\u00E9');
    const struct {
        std::wstring name, ordinary;
    } names[] = {
        {L"\\\\?\\C:\\R\\bin\\win64\\tvcvrtrt7_17.dll", L"C:\\R\\bin\\win64\\tvcvrtrt7_17.dll"},
        {L"\\\\?\\z:\\", L"z:\\"},
        {L"\\\\?\\C:" + long_dir + L"\\x.dll", L"C:" + long_dir + L"\\x.dll"},
        {L"\\\\?\\UNC\\server\\share\\bin\\x.dll", L"\\\\server\\share\\bin\\x.dll"},
        {L"\\\\?\\unc\\server\\share" + long_dir, L"\\\\server\\share" + long_dir},
        {L"C:\\R\\x.dll", L"C:\\R\\x.dll"},
        {L"\\\\server\\share\\x.dll", L"\\\\server\\share\\x.dll"},
        {L"\\\\?\\Volume{01234567-89ab-cdef-0123-456789abcdef}\\x.dll",
         L"\\\\?\\Volume{01234567-89ab-cdef-0123-456789abcdef}\\x.dll"},
        {L"\\\\?\\C:", L"\\\\?\\C:"},
        {L"\\\\?\\C:x.dll", L"\\\\?\\C:x.dll"},
        {L"\\\\?\\UNC\\", L"\\\\?\\UNC\\"},
        {L"\\\\?\\UNC\\\\share", L"\\\\?\\UNC\\\\share"},
        {L"\\\\.\\C:\\x.dll", L"\\\\.\\C:\\x.dll"},
    };
    for (const auto &c : names) EXPECT_EQ(tvc::ordinary_path(c.name), c.ordinary) << c.name.size();
}

}  // namespace
