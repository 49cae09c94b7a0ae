#include "registration/guid_parser.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

static_assert(sizeof(unsigned long) == 4, "the platform's strtoul is the 32-bit reference");

// On the platform itself unsigned long is 32 bits wide, so its strtoul is the
// reference that the portable reading must match.
TEST(HexNumber, ReadsAsThePlatformsStrtoulDoes) {
    for (const char *text : {
             "", "g", "0", "7", "ff", "FFFFFFFF", "100000000", "123456789ABCDEF0123",
             "000000000000000000000000000000001", " \t\n\v\f\r1A-", "+1A", "-1", "-5",
             "-FFFFFFFF", "0x1A", "0X1a", "0x0x1", "- 1", "+-1", "--1", "x1", "00FFz", "\x80" "1",
         }) {
        char *end = nullptr;
        const unsigned long expected = std::strtoul(text, &end, 16);
        const tvc::hex_number read = tvc::read_hex_number(text);
        EXPECT_EQ(read.value, expected) << '"' << text << '"';
        EXPECT_EQ(read.end - text, end - text) << '"' << text << '"';
    }
}

// Two corners where the platform's C library departs from the C standard
// (it reads nothing at all from "0x" and gives 1 for a negative number that
// does not fit); the standard's reading is the one that holds on every build.
TEST(HexNumber, FollowsTheStandardWhereCLibrariesDiffer) {
    for (const char *text : {"0x", "0xg", "-0x", "0x-1"}) {
        const tvc::hex_number read = tvc::read_hex_number(text);
        EXPECT_EQ(read.value, 0u) << text;
        EXPECT_EQ(*read.end, 'x') << text;
    }
    const char *too_big = "-100000000";
    EXPECT_EQ(tvc::read_hex_number(too_big).value, 0xFFFFFFFFu);
    EXPECT_EQ(tvc::read_hex_number(too_big).end, too_big + 10);
}

}  // namespace
