#include "bootstrap/runtime_location.h"

#include "support/child_process.h"
#include "support/foreign_directory_copy.h"
#include "support/scratch_layout.h"
#include "common/code_page_text.h"
#include "tvcvrtrt/api_exception.h"
#include "bootstrap/runtime_paths.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

void set_path(tvc::runtime_path &path, const std::string &value) {
    ASSERT_LT(value.size(), tvc::runtime_path_capacity);
    std::strcpy(path, value.c_str());
}

std::string fatal_message_of(void (*stage)(const char *), const char *argument) {
    try {
        stage(argument);
    } catch (const tvc::apiException &error) {
        return error.what();
    }
    return "<no exception>";
}

}  // namespace

TEST(LocateModuleDir, FindsTheDirectoryOfTheModuleFile) {
    tvc::locate_module_dir(GetModuleHandleA(nullptr));
    EXPECT_EQ(tvc::runtime_paths.module_dir, tvc_test::executable_directory());
}

// The module directory comes from the system and always fits; a root
// derived from one near the capacity must fail cleanly, not overflow.
TEST(LocateVrtRoot, RefusesADerivedRootThatDoesNotFit) {
    tvc_test::scratch_layout layout;
    set_path(tvc::runtime_paths.module_dir, "C:\\" + std::string(tvc::runtime_path_capacity - 5, 'm') + "\\");

    EXPECT_EQ(fatal_message_of(tvc::locate_vrt_root, nullptr), "Fatal error: cannot get path to VRT root");
    EXPECT_EQ(fatal_message_of(tvc::locate_vrt_root, (layout.dir() + "missing").c_str()),
              "Fatal error: cannot get path to VRT root");
    // A usable VRTROOT needs no derivation.
    EXPECT_EQ(fatal_message_of(tvc::locate_vrt_root, layout.dir().c_str()), "<no exception>");
    EXPECT_EQ(tvc::runtime_paths.vrt_root, layout.dir());
}

TEST(LocateRuntimeLibDir, FallsBackToTheModuleDirectoryWhenTheRootIsTooLong) {
    set_path(tvc::runtime_paths.module_dir, "C:\\module\\");
    set_path(tvc::runtime_paths.vrt_root, "C:\\" + std::string(tvc::runtime_path_capacity - 6, 'r') + "\\");
    tvc::locate_runtime_lib_dir();
    EXPECT_STREQ(tvc::runtime_paths.runtime_lib_dir, "C:\\module\\");
}

// A module directory that the process code page cannot hold: narrowed, its
// name would have "?" in place of a character. Its short form is taken where
// the volume has one; otherwise the attach is refused.
TEST(LocateModuleDir, TakesADirectoryOutsideTheCodePageInItsShortForm) {
    std::string narrow = "stale";
    EXPECT_EQ(tvc::narrow_path(L"C:\\tvc-missing-\uAC00\\module.dll", narrow), DWORD{ERROR_NO_UNICODE_TRANSLATION});
    EXPECT_EQ(narrow, "");

    tvc_test::foreign_directory_copy copy("tvcvrtrt7_17.dll", "tvc-foreign-module.dll");
    ASSERT_NE(copy.module, nullptr);
    if (!copy.has_short_form()) {
        EXPECT_THROW(tvc::locate_module_dir(copy.module), tvc::apiException);
        return;
    }
    tvc::locate_module_dir(copy.module);
    const std::string dir = tvc::runtime_paths.module_dir;
    EXPECT_EQ(dir.find('?'), std::string::npos) << dir;
    EXPECT_NE(GetFileAttributesA((dir + "tvc-foreign-module.dll").c_str()), INVALID_FILE_ATTRIBUTES) << dir;
}
