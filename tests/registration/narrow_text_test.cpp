#include "registration/narrow_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// What the system's formatting call leaves when it cannot allocate (null
// text), next to the bad arguments a caller may pass.
TEST(NarrowText, NullTextGivesEmptyTextAndBadArgumentsNothing) {
    std::string b(8, '#');
    EXPECT_EQ(tvc::narrow_text_into(b.data(), 8, nullptr), 0u);
    EXPECT_EQ(b, std::string("\0#######", 8));

    b.assign(8, '#');
    EXPECT_EQ(tvc::narrow_text_into(b.data(), 0, nullptr), 0u);
    EXPECT_EQ(tvc::narrow_text_into(b.data(), -1, nullptr), 0u);
    EXPECT_EQ(tvc::narrow_text_into(b.data(), -1, L"text"), 0u);
    EXPECT_EQ(tvc::narrow_text_into(nullptr, 8, L"text"), 0u);
    EXPECT_EQ(tvc::narrow_text_into(nullptr, 8, nullptr), 0u);
    EXPECT_EQ(b, std::string(8, '#'));

    EXPECT_EQ(tvc::narrow_text_into(b.data(), 3, L"text"), 3u);
    EXPECT_EQ(b, "tex#####");
}

}  // namespace
