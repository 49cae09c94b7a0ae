#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "bootstrap/library_version.h"
#include "tvcvrtrt7_17.h"

TEST(SentinelName, IsVrtDllInBothStringLayouts) {
    EXPECT_EQ(tvcvrtrtGetSentinelLibName(), "vrt.dll");
    // GCC's form again, by the exported name its callers link against (an import library hides it).
    const HMODULE library = ::GetModuleHandleA("tvcvrtrt7_17.dll");
    const auto gcc_form = reinterpret_cast<std::string (*)()>(reinterpret_cast<void (*)()>(
        ::GetProcAddress(library, "_Z26tvcvrtrtGetSentinelLibNameB5cxx11v")));
    ASSERT_NE(gcc_form, nullptr);
    EXPECT_EQ(gcc_form(), "vrt.dll");

    // The platform compiler's caller passes a 32-byte slot and gets it back.
    using fill_slot = void *(*)(void *slot);
    const auto platform_form = reinterpret_cast<fill_slot>(reinterpret_cast<void (*)()>(::GetProcAddress(
        library, "?tvcvrtrtGetSentinelLibName@@YA?AV?$basic_string@DU?$char_traits@D@std@@V?$allocator@D@2@@std@@XZ")));
    ASSERT_NE(platform_form, nullptr);
    alignas(8) unsigned char slot[32];
    std::memset(slot, 0xCC, sizeof slot);
    EXPECT_EQ(platform_form(slot), static_cast<void *>(slot));
    EXPECT_EQ(std::memcmp(slot, "vrt.dll\0", 8), 0);
    std::uint64_t size = 0, capacity = 0;
    std::memcpy(&size, slot + 16, sizeof size);
    std::memcpy(&capacity, slot + 24, sizeof capacity);
    EXPECT_EQ(size, 7u);
    EXPECT_EQ(capacity, 15u);
}

TEST(VersionStrings, AreExportedAsPointersToText) {
    EXPECT_STREQ(tvcvrtrt_version, tvc::file_version);
    EXPECT_STREQ(tvcvrtrt_build_date, "Jan 25 2012");
}
