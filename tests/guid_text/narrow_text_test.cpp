#include "common/code_page_text.h"

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
