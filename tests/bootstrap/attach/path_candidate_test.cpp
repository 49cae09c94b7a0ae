#include "loading/runtime_location.h"

#include "support/scratch_layout.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <fstream>
#include <string>

using tvc::runtime_path;
using tvc::runtime_path_capacity;
using tvc::trailing_backslash;

namespace {

std::string current_dir_with_backslash() {
    char cwd[MAX_PATH];
    const std::string dir(cwd, GetCurrentDirectoryA(MAX_PATH, cwd));
    return dir.back() == '\\' ? dir : dir + '\\';
}

// A buffer followed by bytes that must survive any write into it.
struct guarded_path {
    runtime_path path;
    char guard[64];
    guarded_path() {
        std::memset(path, 'Z', sizeof path);
        std::memset(guard, 'Z', sizeof guard);
        path[0] = '\0';
    }
    bool guard_intact() const {
        for (char c : guard) if (c != 'Z') return false;
        return true;
    }
};

}  // namespace

TEST(OfferCandidate, AcceptsExistingDirectoriesAsFullPathsEndingInBackslash) {
    tvc_test::scratch_layout layout;
    const std::string dir = layout.make_dir("some dir");
    runtime_path target;

    EXPECT_TRUE(tvc::offer_candidate(target, dir.substr(0, dir.size() - 1).c_str()));
    EXPECT_EQ(target, dir);
    EXPECT_TRUE(tvc::offer_candidate(target, (dir + "..\\some dir\\.\\").c_str()));
    EXPECT_EQ(target, dir);
    EXPECT_TRUE(tvc::offer_candidate(target, ""));
    EXPECT_EQ(target, current_dir_with_backslash());

    // Past MAX_PATH, where the narrow path functions stop: the directory
    // itself, and a short one named through it.
    const tvc_test::long_path_directory long_dir(dir, {std::string(150, 'a'), std::string(150, 'b')});
    ASSERT_TRUE(long_dir.created());
    EXPECT_TRUE(tvc::offer_candidate(target, long_dir.path().c_str()));
    EXPECT_EQ(target, long_dir.path());
    EXPECT_TRUE(tvc::offer_candidate(target, (long_dir.path() + "..\\..").c_str()));
    EXPECT_EQ(target, dir);
}

TEST(OfferCandidate, RejectsFilesAndMissingDirectories) {
    tvc_test::scratch_layout layout;
    const std::string file = layout.dir() + "plain file";
    std::ofstream(file) << "not a directory";
    runtime_path target;

    EXPECT_FALSE(tvc::offer_candidate(target, file.c_str()));
    EXPECT_FALSE(tvc::offer_candidate(target, (layout.dir() + "missing").c_str()));
}

TEST(ComposeCandidate, JoinsComponentsWithSingleBackslashes) {
    runtime_path composed;
    ASSERT_TRUE(tvc::compose_candidate(composed, "C:\\R\\", {"bin", "win64"}));
    EXPECT_STREQ(composed, "C:\\R\\bin\\win64\\");
    ASSERT_TRUE(tvc::compose_candidate(composed, "C:\\R", {"toolbox", "tovan"}));
    EXPECT_STREQ(composed, "C:\\R\\toolbox\\tovan\\");
    ASSERT_TRUE(tvc::compose_candidate(composed, "C:\\T\\tovan\\", {".."}, trailing_backslash::no));
    EXPECT_STREQ(composed, "C:\\T\\tovan\\..");
    // An empty toolbox directory yields the current drive's root as prefix.
    ASSERT_TRUE(tvc::compose_candidate(composed, "", {".."}, trailing_backslash::no));
    EXPECT_STREQ(composed, "\\..");
}

TEST(ComposeCandidate, RefusesResultsThatDoNotFitWithoutWritingPastTheBuffer) {
    // "<base>\bin\win64\" adds 11 characters to a base without backslash.
    const std::string fitting(runtime_path_capacity - 1 - 11, 'a');
    guarded_path composed;
    ASSERT_TRUE(tvc::compose_candidate(composed.path, fitting.c_str(), {"bin", "win64"}));
    EXPECT_EQ(std::strlen(composed.path), runtime_path_capacity - 1);

    for (const std::string &base : {fitting + "a", std::string(runtime_path_capacity - 1, 'a')}) {
        EXPECT_FALSE(tvc::compose_candidate(composed.path, base.c_str(), {"bin", "win64"}));
        EXPECT_STREQ(composed.path, "");
        EXPECT_TRUE(composed.guard_intact());
    }
    // The final backslash alone no longer fits.
    EXPECT_FALSE(tvc::compose_candidate(composed.path, std::string(runtime_path_capacity - 3, 'a').c_str(), {"b"}));
    EXPECT_TRUE(composed.guard_intact());

    guarded_path target;
    std::strcpy(target.path, "C:\\previous\\");
    EXPECT_FALSE(tvc::offer_composed(target.path, (fitting + "a").c_str(), {"bin", "win64"}));
    EXPECT_STREQ(target.path, "");
    EXPECT_TRUE(target.guard_intact());
}
