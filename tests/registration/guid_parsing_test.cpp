#include "tvcvrtrt7_17.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

constexpr GUID sample = {0x01234567, 0x89AB, 0xCDEF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};

struct parse_result {
    int complete;
    GUID guid;
};

parse_result parse(const char *text) {
    parse_result r;
    std::memset(&r.guid, 0xCC, sizeof r.guid);  // the parser must clear it
    r.complete = tvcGUIDFromString_proxy(text, &r.guid);
    return r;
}

bool same(const GUID &a, const GUID &b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(GuidParsing, AcceptsTheRegistryFormAndItsLooserSpellings) {
    for (const char *text : {
             "{01234567-89AB-CDEF-0123-456789ABCDEF}",
             "01234567-89AB-CDEF-0123-456789ABCDEF",
             "01234567-89AB-CDEF-0123456789ABCDEF",
             "{ 01234567-89AB-CDEF-0123-456789ABCDEF}",
             "{01234567-89AB-CDEF-0123-4567-89AB-CDEF}",
             "{01234567 89AB CDEF 01-2 3-45 67 89-AB-C-D-E-F}",
             "{01234567-89ab-cdef-0123-456789abcdef}",
             "}-{01234567-0x89AB-0XCDEF-0123-456789ABCDEF} anything after the last digit",
         }) {
        const parse_result r = parse(text);
        EXPECT_EQ(r.complete, 1) << text;
        EXPECT_TRUE(same(r.guid, sample)) << text;
    }
}

TEST(GuidParsing, GroupsOfOtherLengthsAreReadAsNumbers) {
    parse_result r = parse("{123456789-89AB-CDEF-0123-456789ABCDEF}");
    EXPECT_EQ(r.complete, 1);
    EXPECT_EQ(r.guid.Data1, 0xFFFFFFFFu);
    EXPECT_EQ(r.guid.Data2, 0x89AB);

    r = parse("{01234567-189AB-1CDEF-0123-456789ABCDEF}");
    EXPECT_EQ(r.complete, 1);
    EXPECT_TRUE(same(r.guid, sample));

    r = parse("{1-2-3-0123456789ABCDEF}");
    EXPECT_EQ(r.complete, 1);
    EXPECT_EQ(r.guid.Data1, 1u);
    EXPECT_EQ(r.guid.Data3, 3);
    EXPECT_EQ(r.guid.Data4[7], 0xEF);

    // A pair of the last group is read up to its first non-digit.
    r = parse("{01234567-89AB-CDEF-0123-4G.789ABCDEF}");
    EXPECT_EQ(r.complete, 1);
    EXPECT_EQ(r.guid.Data4[2], 0x04);
    EXPECT_EQ(r.guid.Data4[3], 0x00);
    EXPECT_EQ(r.guid.Data4[4], 0x89);
}

TEST(GuidParsing, TextEndingEarlyKeepsTheGroupsAlreadyRead) {
    GUID through_data3 = sample;
    std::memset(through_data3.Data4, 0, sizeof through_data3.Data4);
    GUID through_fourth_group = through_data3;
    through_fourth_group.Data4[0] = 0x01;
    through_fourth_group.Data4[1] = 0x23;
    GUID all_but_last_byte = sample;
    all_but_last_byte.Data4[7] = 0;
    const GUID data1_only = {0x01234567, 0, 0, {}};

    const struct {
        const char *text;
        GUID expected;
    } cases[] = {
        {"{01234567-89AB-CDEF", through_data3},
        {"{01234567-89AB-CDEF-", through_data3},
        {"{01234567-89AB-CDEF-0123", through_fourth_group},
        {"{01234567-89AB-CDEF-0123}", through_fourth_group},
        {"{01234567-89AB-CDEF-0123-456789ABCD}", all_but_last_byte},
        {"{01234567-89AB-CDEF-0123-456789ABCDE}", all_but_last_byte},
        {"{01234567}-89AB-CDEF-0123-456789ABCDEF}", data1_only},
    };
    for (const auto &c : cases) {
        const parse_result r = parse(c.text);
        EXPECT_EQ(r.complete, 0) << c.text;
        EXPECT_TRUE(same(r.guid, c.expected)) << c.text;
    }
}

TEST(GuidParsing, NoDigitsGivesZero) {
    for (const char *text : {static_cast<const char *>(nullptr), "", "{}", "{-}- -{}}{", "   "}) {
        const parse_result r = parse(text);
        EXPECT_EQ(r.complete, 0) << (text ? text : "(null)");
        EXPECT_TRUE(same(r.guid, GUID{})) << (text ? text : "(null)");
    }
    EXPECT_EQ(tvcGUIDFromString_proxy("{01234567-89AB-CDEF-0123-456789ABCDEF}", nullptr), 0);
    EXPECT_EQ(tvcGUIDFromString_proxy(nullptr, nullptr), 0);
}

}  // namespace
