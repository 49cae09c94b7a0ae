#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/child_process.h"

namespace {

const auto output_of = tvc_test::host("diagnostics_host.exe");

const std::string banner = "Initializing Tovan Compiler Runtime version 7.17\n";

}  // namespace

TEST(StartMessage, ModeZeroPrintsEveryTimeThenCallsBack) {
    EXPECT_EQ(output_of({"start:0", "start:0"}), banner + "callback 1\n" + banner + "callback 2\n");
    EXPECT_EQ(output_of({"start:1", "start:0"}), banner + "callback 1\n" + banner + "callback 2\n");
}

TEST(StartMessage, ModeOnePrintsOncePerProcessAndAlwaysCallsBack) {
    EXPECT_EQ(output_of({"start:1", "start:1"}), banner + "callback 1\n" + "callback 2\n");
    EXPECT_EQ(output_of({"start:2", "start:1"}), banner + "callback 2\n");
}

TEST(StartMessage, OtherModesPrintOnceAndNeverCallBack) {
    EXPECT_EQ(output_of({"start:2", "start:2"}), banner);
    EXPECT_EQ(output_of({"start:-1", "start:7", "start:1"}), banner + "callback 3\n");
}

TEST(StartMessage, WithoutCallbackOnlyPrints) {
    EXPECT_EQ(output_of({"start-silent:1", "start-silent:1", "start-silent:0"}), banner + banner);
}
