// The DLL's version resource, read back the way the system's file properties
// read it.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tvcvrtrt7_17.h"

namespace {

std::vector<char> library_version_block() {
    // The build tree may lie deeper than MAX_PATH.
    std::vector<char> path(32768);
    const DWORD length = ::GetModuleFileNameA(::GetModuleHandleA("tvcvrtrt7_17.dll"), path.data(),
                                              static_cast<DWORD>(path.size()));
    if (length == 0 || length >= path.size()) return {};
    std::vector<char> block(::GetFileVersionInfoSizeA(path.data(), nullptr));
    if (block.empty() ||
        !::GetFileVersionInfoA(path.data(), 0, static_cast<DWORD>(block.size()), block.data()))
        return {};
    return block;
}

std::string version_text(DWORD most_significant, DWORD least_significant) {
    char text[32];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", unsigned{HIWORD(most_significant)},
                  unsigned{LOWORD(most_significant)}, unsigned{HIWORD(least_significant)},
                  unsigned{LOWORD(least_significant)});
    return text;
}

std::string string_value(std::vector<char> &block, const std::string &table, const char *name) {
    const std::string query = "\\StringFileInfo\\" + table + "\\" + name;
    void *text = nullptr;
    UINT length = 0;
    if (!::VerQueryValueA(block.data(), query.c_str(), &text, &length) || text == nullptr)
        return "<missing>";
    return static_cast<const char *>(text);
}

}  // namespace

TEST(VersionResource, FixedPartNamesTheExportedVersionOfADll) {
    auto block = library_version_block();
    ASSERT_FALSE(block.empty());
    void *data = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueA(block.data(), "\\", &data, &length));
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    const auto &fixed = *static_cast<const VS_FIXEDFILEINFO *>(data);

    EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(version_text(fixed.dwFileVersionMS, fixed.dwFileVersionLS), tvcvrtrt_version);
    EXPECT_EQ(version_text(fixed.dwProductVersionMS, fixed.dwProductVersionLS), tvcvrtrt_version);
    EXPECT_EQ(fixed.dwFileType, DWORD{VFT_DLL});
    EXPECT_EQ(fixed.dwFileOS, DWORD{VOS_NT_WINDOWS32});
    EXPECT_EQ(fixed.dwFileFlags & fixed.dwFileFlagsMask, 0u);
}

TEST(VersionResource, StringsDescribeTheLibrary) {
    auto block = library_version_block();
    ASSERT_FALSE(block.empty());
    // Readers pick the string table through the translation list.
    struct language_and_code_page {
        WORD language;
        WORD code_page;
    };
    void *data = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &data, &length));
    ASSERT_EQ(length, sizeof(language_and_code_page));
    const auto translation = *static_cast<const language_and_code_page *>(data);
    EXPECT_EQ(translation.language, 0x0409);
    EXPECT_EQ(translation.code_page, 1200);
    char table[9];
    std::snprintf(table, sizeof table, "%04X%04X", unsigned{translation.language},
                  unsigned{translation.code_page});

    const struct {
        const char *name;
        std::string expected;
    } strings[] = {
        {"FileVersion", tvcvrtrt_version},
        {"ProductVersion", tvcvrtrt_version},
        {"OriginalFilename", "tvcvrtrt7_17.dll"},
        {"InternalName", "tvcvrtrt7_17"},
        {"ProductName", "Tovan Compiler Runtime"},
        {"FileDescription", "Tovan Compiler Runtime 7.17 front library"},
    };
    for (const auto &entry : strings)
        EXPECT_EQ(string_value(block, table, entry.name), entry.expected) << entry.name;
}
