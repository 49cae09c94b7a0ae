#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

#include <cstddef>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/scratch_layout.h"
#include "tvcvrtrt7_17.h"

using tvc_test::executable_directory;

namespace {

// Copies of one small library under many names in a fresh directory, loaded
// for as long as the object lives; removed, files and directory, afterwards.
class many_loaded_copies {
public:
    many_loaded_copies(const std::string &source, int count) {
        for (int index = 0; index < count; ++index) {
            const std::string path = directory_.dir() + name(index);
            if (!::CopyFileA(source.c_str(), path.c_str(), TRUE)) return;
            HMODULE module = ::LoadLibraryA(path.c_str());
            if (!module) return;
            modules_.push_back(module);
        }
    }
    ~many_loaded_copies() {
        for (HMODULE module : modules_) ::FreeLibrary(module);
    }
    many_loaded_copies(const many_loaded_copies &) = delete;
    many_loaded_copies &operator=(const many_loaded_copies &) = delete;

    static std::string name(int index) { return "many_module_" + std::to_string(index) + ".dll"; }
    std::size_t loaded() const { return modules_.size(); }

private:
    tvc_test::scratch_layout directory_;  // outlives the modules loaded from it
    std::vector<HMODULE> modules_;
};

}  // namespace

TEST(IsLibLoaded, MatchesAnyPartOfAModulePathCaseSensitively) {
    EXPECT_TRUE(tvcvrtrtIsLibLoaded("tvcvrtrt7_17.dll"));
    EXPECT_FALSE(tvcvrtrtIsLibLoaded("TVCVRTRT7_17.DLL"));
    EXPECT_TRUE(tvcvrtrtIsLibLoaded("bin\\tvcvrtrt7_17"));
    EXPECT_TRUE(tvcvrtrtIsLibLoaded(""));
    EXPECT_FALSE(tvcvrtrtIsLibLoaded(nullptr));
    EXPECT_FALSE(tvcvrtrtIsLibLoaded("no_module_has_this_name.dll"));

    EXPECT_FALSE(tvcvrtrtIsLibLoaded("libbx.dll"));
    HMODULE prefixed = ::LoadLibraryA("mylibbx.dll");
    ASSERT_NE(prefixed, nullptr);
    EXPECT_TRUE(tvcvrtrtIsLibLoaded("libbx.dll"));
    EXPECT_FALSE(tvcvrtrtIsLibLoaded("LIBBX.DLL"));
    ::FreeLibrary(prefixed);
    EXPECT_FALSE(tvcvrtrtIsLibLoaded("libbx.dll"));

    HMODULE extended = ::LoadLibraryA("libbx.dll.extra");
    ASSERT_NE(extended, nullptr);
    EXPECT_TRUE(tvcvrtrtIsLibLoaded("libbx.dll"));
    ::FreeLibrary(extended);
}

TEST(IsLibLoaded, PlatformDecoratedExportGivesTheSameAnswers) {
    using query = bool (*)(const char *);
    const auto decorated = reinterpret_cast<query>(reinterpret_cast<void (*)()>(
        ::GetProcAddress(::GetModuleHandleA("tvcvrtrt7_17.dll"), "?tvcvrtrtIsLibLoaded@@YA_NPEBD@Z")));
    ASSERT_NE(decorated, nullptr);
    EXPECT_TRUE(decorated("tvcvrtrt7_17.dll"));
    EXPECT_FALSE(decorated("TVCVRTRT7_17.DLL"));
    EXPECT_FALSE(decorated(nullptr));
}

TEST(IsLibLoaded, ExaminesModulesBeyondTheFirstThousand) {
    constexpr int copies = 1040;
    many_loaded_copies loaded(executable_directory() + "diagnostics_tiny_module.dll", copies);
    ASSERT_EQ(loaded.loaded(), static_cast<std::size_t>(copies));
    HMODULE first_module = nullptr;
    DWORD needed = 0;
    ASSERT_TRUE(::EnumProcessModules(::GetCurrentProcess(), &first_module, sizeof first_module, &needed));
    ASSERT_GT(needed, 1024 * sizeof(HMODULE));

    EXPECT_TRUE(tvcvrtrtIsLibLoaded(many_loaded_copies::name(0).c_str()));
    EXPECT_TRUE(tvcvrtrtIsLibLoaded(many_loaded_copies::name(copies - 1).c_str()));
    EXPECT_FALSE(tvcvrtrtIsLibLoaded(many_loaded_copies::name(copies).c_str()));
}
