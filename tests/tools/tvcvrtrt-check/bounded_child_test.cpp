// The bounds of the diagnostic command's children (its loader and its type
// library reader share them): each way a child can end is told apart.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstddef>
#include <initializer_list>
#include <string>

#include "support/child_process.h"
#include "tools/tvcvrtrt-check/bounded_child.h"
#include "tools/tvcvrtrt-check/text.h"

namespace {

std::wstring behaviour(const char *what) {
    return L"\"" + tvc_check::widened(tvc_test::executable_directory()) + L"bounded_child_behaviour.exe\" " +
           tvc_check::widened(what);
}

// A quarter of the command's limit: the test never needs more memory than
// that, however the child is stopped.
constexpr std::size_t test_memory_limit = tvc_check::child_memory_limit / 4;
// Only the hanging child is meant to meet its time limit; the others get
// one that no loaded machine reaches.
constexpr unsigned long hang_time_limit_ms = 1000;
constexpr unsigned long ample_time_limit_ms = 120000;

TEST(BoundedChild, EachWayAChildEndsIsToldApart) {
    struct row {
        const char *behaviour;
        bool timed_out, over_memory_limit;
        unsigned long status;  // when it ended by itself
        const char *answer;    // when it ended by itself
    };
    for (const row &expected : {
             row{"allocate", false, true, 0, ""},
             row{"map", false, true, 0, ""},
             row{"grandchild", false, true, 0, ""},
             row{"crash", false, false, EXCEPTION_ACCESS_VIOLATION, ""},
             row{"hang", true, false, 0, ""},
             row{"answer", false, false, 7, "answer\t1\n"},
         }) {
        SCOPED_TRACE(expected.behaviour);
        const tvc_check::child_run run = tvc_check::run_bounded_child(
            behaviour(expected.behaviour), expected.timed_out ? hang_time_limit_ms : ample_time_limit_ms,
            test_memory_limit);
        ASSERT_TRUE(run.started);
        EXPECT_EQ(run.timed_out, expected.timed_out);
        EXPECT_EQ(run.over_memory_limit, expected.over_memory_limit);
        if (expected.timed_out || expected.over_memory_limit) continue;
        EXPECT_EQ(tvc_check::status_text(run.status), tvc_check::status_text(expected.status));
        EXPECT_EQ(run.answer, expected.answer);
    }
}

}  // namespace
