#include <gtest/gtest.h>

#include <float.h>

#include <cstring>
#include <string>

#include "tvcvrtrt/api_exception.h"
#include "loading/last_error.h"
#include "loading/library_loader.h"
#include "loading/symbol_binder.h"
#include "support/scratch_layout.h"
#include "tests/loading/loader_test_support.h"

using namespace tvc_test;

namespace {

constexpr char stand_in_file[] = "loader_symbol_source.dll";
constexpr char absent_file[] = "absent_sibling.dll";

// The apiException text of loading file_name; "" when the load succeeded.
std::string load_failure_text(const char *file_name) {
    try {
        tvc::load_runtime_library(file_name);
    } catch (const tvc::apiException &error) {
        return error.what();
    }
    return "";
}

}  // namespace

TEST(LoadRuntimeLibrary, AnnouncesEachFullPathWhenVerboseAndReturnsTheSameHandle) {
    const std::string directory = executable_directory();
    runtime_lib_dir_override lib_dir(directory);
    verbose_override verbose(true);

    testing::internal::CaptureStdout();
    HMODULE first = tvc::load_runtime_library(stand_in_file);
    HMODULE second = tvc::load_runtime_library(stand_in_file);
    const std::string printed = testing::internal::GetCapturedStdout();

    const std::string line = "Loading " + directory + stand_in_file + "\n";
    EXPECT_EQ(printed, line + line);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_EQ(first, ::GetModuleHandleA(stand_in_file));
}

TEST(LoadRuntimeLibrary, MissingLibraryIsAnnouncedThenReportedWithPathAndSystemText) {
    const std::string directory = executable_directory();
    runtime_lib_dir_override lib_dir(directory);
    const std::string expected = "Fatal error loading library " + directory + absent_file +
                                 " Error: " + system_text(ERROR_MOD_NOT_FOUND);
    {
        verbose_override verbose(true);
        testing::internal::CaptureStdout();
        EXPECT_EQ(load_failure_text(absent_file), expected);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "Loading " + directory + absent_file + "\n");
    }
    verbose_override quiet(false);
    testing::internal::CaptureStdout();
    EXPECT_EQ(load_failure_text(absent_file), expected);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(LoadRuntimeLibrary, LibraryWhoseDependencyCannotBeFoundFailsBothLoads) {
    const std::string directory = executable_directory();
    runtime_lib_dir_override lib_dir(directory);
    verbose_override quiet(false);
    EXPECT_EQ(load_failure_text("loader_broken_import.dll"),
              "Fatal error loading library " + directory + "loader_broken_import.dll Error: " +
                  system_text(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(::GetModuleHandleA("loader_broken_import.dll"), nullptr);
}

TEST(LoadRuntimeLibrary, RefusesPathsThatDoNotFitTheBuffer) {
    verbose_override verbose(true);
    const std::string file = "libka.dll";
    const std::string refused = "Fatal error loading library " + file + " Error: ";

    // Directory and file name filling the buffer, terminator included: tried.
    const std::string fits =
        "C:\\" + std::string(tvc::runtime_path_capacity - 1 - file.size() - 4, 'd') + "\\";
    ASSERT_EQ(fits.size() + file.size() + 1, tvc::runtime_path_capacity);
    {
        runtime_lib_dir_override lib_dir(fits);
        testing::internal::CaptureStdout();
        const std::string message = load_failure_text(file.c_str());
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "Loading " + fits + file + "\n");
        EXPECT_EQ(message.rfind("Fatal error loading library " + fits + file + " Error: ", 0), 0u)
            << message;
    }
    // One character more: refused before any attempt, naming the file.
    {
        runtime_lib_dir_override lib_dir("C:\\d" + fits.substr(2));
        testing::internal::CaptureStdout();
        const std::string message = load_failure_text(file.c_str());
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(message.rfind(refused, 0), 0u) << message;
        EXPECT_NE(message.find("2561 characters"), std::string::npos) << message;
    }
    // A directory that fills the whole buffer without a terminator is not
    // read past its end.
    {
        runtime_lib_dir_override lib_dir("");
        tvc::runtime_paths_t unterminated = tvc::runtime_paths;
        std::memset(unterminated.runtime_lib_dir, 'd', tvc::runtime_path_capacity);
        tvc::publish_runtime_paths(unterminated);
        testing::internal::CaptureStdout();
        const std::string message = load_failure_text(file.c_str());
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(message.rfind(refused, 0), 0u) << message;
    }
}

TEST(LoadLibraryFile, MasksFloatingPointExceptionsAndReportsTheErrorCode) {
    const std::string directory = executable_directory();
    const unsigned int saved_control = ::_control87(0, 0);

    ::_control87(0, _EM_ZERODIVIDE | _EM_INVALID);
    DWORD error_code = 12345;
    HMODULE by_path = tvc::load_library_file((directory + stand_in_file).c_str(), error_code);
    EXPECT_NE(by_path, nullptr);
    EXPECT_EQ(error_code, 0u);
    EXPECT_EQ(::_control87(0, 0) & _MCW_EM, static_cast<unsigned int>(_MCW_EM));
    EXPECT_EQ(tvc::load_library_file(stand_in_file, error_code), by_path);

    ::_control87(0, _EM_OVERFLOW);
    EXPECT_EQ(tvc::load_library_file((directory + absent_file).c_str(), error_code), nullptr);
    EXPECT_EQ(error_code, static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(tvc::last_error_text(), system_text(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(::_control87(0, 0) & _MCW_EM, static_cast<unsigned int>(_MCW_EM));

    ::_control87(saved_control, _MCW_EM);
}

namespace {

// Puts the thread's error mode back when the test ends.
class thread_error_mode_restorer {
public:
    thread_error_mode_restorer() noexcept : saved_(::GetThreadErrorMode()) {}
    ~thread_error_mode_restorer() { ::SetThreadErrorMode(saved_, nullptr); }
    thread_error_mode_restorer(const thread_error_mode_restorer &) = delete;
    thread_error_mode_restorer &operator=(const thread_error_mode_restorer &) = delete;

private:
    DWORD saved_;
};

struct library_unloader {
    HMODULE module;
    ~library_unloader() {
        if (module != nullptr) ::FreeLibrary(module);
    }
};

}  // namespace

// A library that fails to load must not leave the host waiting on a system
// error box: the load runs with critical-error boxes off, and the caller's
// own mode is what it was, after a success and after a failure alike.
TEST(LoadLibraryFile, LoadsWithoutCriticalErrorBoxesAndKeepsTheCallersErrorMode) {
    const std::string directory = executable_directory();
    thread_error_mode_restorer restore_mode;
    for (const DWORD callers : {DWORD{0}, DWORD{SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX}}) {
        ASSERT_TRUE(::SetThreadErrorMode(callers, nullptr));
        DWORD error_code = 0;
        const library_unloader probe{
            tvc::load_library_file((directory + "loader_error_mode_probe.dll").c_str(), error_code)};
        ASSERT_NE(probe.module, nullptr);
        EXPECT_EQ(::GetThreadErrorMode(), callers);
        DWORD (*mode_at_attach)() = nullptr;
        tvc::bind_symbol(probe.module, mode_at_attach, "loader_error_mode_at_attach");
        EXPECT_EQ(mode_at_attach(), callers | SEM_FAILCRITICALERRORS) << callers;

        EXPECT_EQ(tvc::load_library_file((directory + "loader_broken_import.dll").c_str(), error_code), nullptr);
        EXPECT_EQ(error_code, static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
        EXPECT_EQ(::GetThreadErrorMode(), callers);
    }
}

// A runtime installed deeper than the narrow functions reach: the load goes
// through the wide ones, and the report keeps the path as it was given.
TEST(LoadRuntimeLibrary, LoadsFromADirectoryLongerThanMaxPath) {
    const tvc_test::scratch_layout layout;
    const tvc_test::long_path_directory long_dir(layout.dir(), {std::string(150, 'a'), std::string(150, 'b')});
    ASSERT_TRUE(long_dir.created());
    ASSERT_GT(long_dir.path().size(), static_cast<std::size_t>(MAX_PATH));
    ASSERT_FALSE(long_dir.copy_in(executable_directory() + "loader_error_mode_probe.dll").empty());
    runtime_lib_dir_override lib_dir(long_dir.path());
    verbose_override verbose(true);

    testing::internal::CaptureStdout();
    library_unloader probe{nullptr};
    std::string failure;
    try {
        probe.module = tvc::load_runtime_library("loader_error_mode_probe.dll");
    } catch (const tvc::apiException &error) {
        failure = error.what();
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Loading " + long_dir.path() + "loader_error_mode_probe.dll\n");
    EXPECT_EQ(failure, "");
    EXPECT_NE(probe.module, nullptr);
}
