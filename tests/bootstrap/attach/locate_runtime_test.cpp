#include "loading/runtime_location.h"

#include "support/child_process.h"
#include "support/foreign_directory_copy.h"
#include "support/scratch_layout.h"
#include "common/code_page_text.h"
#include "loading/runtime_paths.h"

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <string>

namespace {

void set_path(tvc::runtime_path &path, const std::string &value) {
    ASSERT_LT(value.size(), tvc::runtime_path_capacity);
    std::strcpy(path, value.c_str());
}

// Stand-ins for the short-name lookup, answering as GetShortPathNameW does.
DWORD answer(const wchar_t *name, wchar_t *buffer, DWORD size) {
    const DWORD length = static_cast<DWORD>(std::wcslen(name));
    if (buffer == nullptr || size <= length) return length + 1;
    std::wcscpy(buffer, name);
    return length;
}
DWORD WINAPI short_form(const wchar_t *, wchar_t *buffer, DWORD size) {
    return answer(L"C:\\TVC-~1\\module.dll", buffer, size);
}
DWORD WINAPI long_form(const wchar_t *path, wchar_t *buffer, DWORD size) { return answer(path, buffer, size); }

}  // namespace

TEST(LocateModuleDir, FindsTheDirectoryOfTheModuleFile) {
    tvc::runtime_paths_t paths{};
    ASSERT_TRUE(tvc::locate_module_dir(paths, GetModuleHandleA(nullptr)));
    EXPECT_EQ(paths.module_dir, tvc_test::executable_directory());
}

// The module directory comes from the system and always fits; a root
// derived from one near the capacity must fail cleanly, not overflow.
TEST(LocateVrtRoot, RefusesADerivedRootThatDoesNotFit) {
    tvc_test::scratch_layout layout;
    tvc::runtime_paths_t paths{};
    set_path(paths.module_dir, "C:\\" + std::string(tvc::runtime_path_capacity - 5, 'm') + "\\");

    EXPECT_FALSE(tvc::locate_vrt_root(paths, nullptr));
    EXPECT_FALSE(tvc::locate_vrt_root(paths, (layout.dir() + "missing").c_str()));
    // A usable VRTROOT needs no derivation.
    EXPECT_TRUE(tvc::locate_vrt_root(paths, layout.dir().c_str()));
    EXPECT_EQ(paths.vrt_root, layout.dir());
}

TEST(LocateRuntimeLibDir, FallsBackToTheModuleDirectoryWhenTheRootIsTooLong) {
    tvc::runtime_paths_t paths{};
    set_path(paths.module_dir, "C:\\module\\");
    set_path(paths.vrt_root, "C:\\" + std::string(tvc::runtime_path_capacity - 6, 'r') + "\\");
    tvc::locate_runtime_lib_dir(paths);
    EXPECT_STREQ(paths.runtime_lib_dir, "C:\\module\\");
}

// A module directory that the process code page cannot hold: narrowed, its
// name would have "?" in place of a character. Its short form is taken where
// the volume has one; otherwise the attach is refused.
TEST(LocateModuleDir, TakesADirectoryOutsideTheCodePageInItsShortForm) {
    std::string narrow = "stale";
    EXPECT_EQ(tvc::narrow_path(L"C:\\tvc-missing-\uAC00\\module.dll", narrow), DWORD{ERROR_NO_UNICODE_TRANSLATION});
    EXPECT_EQ(narrow, "");
    // The lookup as Windows answers it on a volume with short names, and on
    // one without (the long name back, which Wine never gives).
    narrow = "stale";
    EXPECT_EQ(tvc::narrow_path(L"C:\\tvc-\uAC00\\module.dll", narrow, short_form), DWORD{ERROR_SUCCESS});
    EXPECT_EQ(narrow, "C:\\TVC-~1\\module.dll");
    EXPECT_EQ(tvc::narrow_path(L"C:\\tvc-\uAC00\\module.dll", narrow, long_form), DWORD{ERROR_NO_UNICODE_TRANSLATION});
    EXPECT_EQ(narrow, "");

    tvc_test::foreign_directory_copy copy("tvcvrtrt7_17.dll", "tvc-foreign-module.dll");
    ASSERT_NE(copy.module, nullptr);
    tvc::runtime_paths_t paths{};
    if (!copy.has_short_form()) {
        EXPECT_FALSE(tvc::locate_module_dir(paths, copy.module));
        return;
    }
    ASSERT_TRUE(tvc::locate_module_dir(paths, copy.module));
    const std::string dir = paths.module_dir;
    EXPECT_EQ(dir.find('?'), std::string::npos) << dir;
    EXPECT_NE(GetFileAttributesA((dir + "tvc-foreign-module.dll").c_str()), INVALID_FILE_ATTRIBUTES) << dir;
}
