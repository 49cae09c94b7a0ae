#include "tvcvrtrt7_17.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cstring>
#include <random>
#include <string>

namespace {

constexpr GUID sample = {0x0A1B2C3D, 0x4E5F, 0x6A7B, {0x8C, 0x9D, 0xAE, 0xBF, 0xC0, 0xD1, 0xE2, 0xF3}};
constexpr char sample_text[] = "{0A1B2C3D-4E5F-6A7B-8C9D-AEBFC0D1E2F3}";
constexpr char untouched = '\x5A';

using buffer = std::array<char, 64>;

buffer fresh_buffer() {
    buffer b;
    b.fill(untouched);
    return b;
}

bool untouched_from(const buffer &b, std::size_t first) {
    return std::all_of(b.begin() + first, b.end(), [](char c) { return c == untouched; });
}

TEST(GuidFormatting, StoresAsMuchAsTheBufferHoldsAndNothingBeyond) {
    for (int size : {64, 39, 38, 10, 1, 0}) {
        SCOPED_TRACE(size);
        buffer guid_text = fresh_buffer();
        const std::size_t stored = tvcGUIDtochar_proxy(&sample, guid_text.data(), size);
        const std::size_t expected = std::min(size, 38);
        EXPECT_EQ(stored, expected);
        EXPECT_EQ(std::string(guid_text.data(), expected), std::string(sample_text, expected));
        const bool room_for_nul = size >= 39;
        if (room_for_nul) {
            EXPECT_EQ(guid_text[38], '\0');
        }
        EXPECT_TRUE(untouched_from(guid_text, expected + (room_for_nul ? 1 : 0)));

        buffer clsid_text = fresh_buffer();
        tvcCLSIDtochar_proxy(&sample, clsid_text.data(), size);
        EXPECT_EQ(clsid_text, guid_text);
    }
}

TEST(GuidFormatting, NullPointersAndNegativeSizesStoreNothing) {
    buffer b = fresh_buffer();
    EXPECT_EQ(tvcGUIDtochar_proxy(nullptr, b.data(), 40), 0u);
    // No buffer asks for the length needed, as with wcstombs.
    EXPECT_EQ(tvcGUIDtochar_proxy(&sample, nullptr, 40), 38u);
    EXPECT_EQ(tvcGUIDtochar_proxy(&sample, nullptr, 0), 38u);
    EXPECT_EQ(tvcGUIDtochar_proxy(&sample, b.data(), -1), 0u);
    EXPECT_EQ(tvcGUIDtochar_proxy(&sample, b.data(), INT_MIN), 0u);
    tvcCLSIDtochar_proxy(nullptr, b.data(), 40);
    tvcCLSIDtochar_proxy(&sample, nullptr, 40);
    tvcCLSIDtochar_proxy(&sample, b.data(), -1);
    EXPECT_TRUE(untouched_from(b, 0));
}

// Formatting and parsing must agree on every GUID, whatever its bytes.
TEST(GuidFormatting, RandomGuidsSurviveTextAndBack) {
    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int i = 0; i < 2000; ++i) {
        GUID original;
        auto *bytes = reinterpret_cast<unsigned char *>(&original);
        for (std::size_t k = 0; k < sizeof original; ++k) bytes[k] = static_cast<unsigned char>(byte(random));

        char text[40] = {};
        ASSERT_EQ(tvcGUIDtochar_proxy(&original, text, sizeof text), 38u);
        ASSERT_TRUE(std::none_of(text, text + 38, [](char c) { return std::islower(static_cast<unsigned char>(c)); })) << text;
        char clsid_text[40] = {};
        tvcCLSIDtochar_proxy(&original, clsid_text, sizeof clsid_text);
        ASSERT_STREQ(clsid_text, text);

        GUID parsed;
        ASSERT_EQ(tvcGUIDFromString_proxy(text, &parsed), 1) << text;
        ASSERT_EQ(std::memcmp(&parsed, &original, sizeof parsed), 0) << text;
        char again[40] = {};
        tvcGUIDtochar_proxy(&parsed, again, sizeof again);
        ASSERT_STREQ(again, text);
    }
}

}  // namespace
