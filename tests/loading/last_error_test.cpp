#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "tvcvrtrt/api_exception.h"
#include "loading/last_error.h"
#include "loading/library_loader.h"
#include "loading/symbol_binder.h"
#include "tests/loading/loader_test_support.h"
#include "support/start_gate.h"

using namespace tvc_test;

TEST(ErrorText, HoldsTheSystemTextOfTheRecordedCode) {
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(tvc::record_last_error(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(tvc::last_error_text(), system_text(ERROR_FILE_NOT_FOUND));
    EXPECT_STRNE(tvc::last_error_text(), "");

    // A text with an insert that no argument fills is kept as written.
    ::SetLastError(ERROR_BAD_EXE_FORMAT);
    EXPECT_EQ(tvc::record_last_error(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
    EXPECT_EQ(tvc::last_error_text(), system_text(ERROR_BAD_EXE_FORMAT));
    EXPECT_NE(std::string(tvc::last_error_text()).find("%1"), std::string::npos);

    // A code the system has no text for leaves none.
    const DWORD application_code = 0x20001234;
    ::SetLastError(application_code);
    EXPECT_EQ(tvc::record_last_error(), application_code);
    EXPECT_STREQ(tvc::last_error_text(), "");
}

TEST(ErrorText, IsEmptyInAThreadThatNeverFailed) {
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    tvc::record_last_error();
    std::string seen = "unset";
    std::thread([&seen] { seen = tvc::last_error_text(); }).join();
    EXPECT_EQ(seen, "");
}

TEST(ErrorText, IsFreedAtThreadDetachAndAtUnloadAndThenRecordedAfresh) {
    const std::string not_found = system_text(ERROR_FILE_NOT_FOUND);
    for (void (*release)() noexcept : {tvc::release_thread_error_text, tvc::release_error_text_slot}) {
        ::SetLastError(ERROR_FILE_NOT_FOUND);
        tvc::record_last_error();
        EXPECT_EQ(tvc::last_error_text(), not_found);
        release();
        EXPECT_STREQ(tvc::last_error_text(), "");
    }
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    tvc::record_last_error();
    EXPECT_EQ(tvc::last_error_text(), not_found);
}

TEST(ErrorText, ThreadsFailingAtOnceEachReportTheirOwnFailure) {
    const std::string directory = executable_directory();
    runtime_lib_dir_override lib_dir(directory);
    verbose_override quiet(false);
    HMODULE module = ::LoadLibraryA("loader_symbol_source.dll");
    ASSERT_NE(module, nullptr);

    const std::string load_text = system_text(ERROR_MOD_NOT_FOUND);
    const std::string bind_text = system_text(ERROR_PROC_NOT_FOUND);
    ASSERT_NE(load_text, bind_text);
    const std::string load_expected =
        "Fatal error loading library " + directory + "absent_sibling.dll Error: " + load_text;
    const std::string bind_expected = "Fatal error finding symbol loader_absent_function in " +
                                      directory + "loader_symbol_source.dll Error: " + bind_text;

    constexpr int rounds = 2000;
    start_gate gate(2);
    int load_mismatches = 0;
    int bind_mismatches = 0;
    std::thread loading([&] {
        gate.arrive_and_wait();
        for (int round = 0; round < rounds; ++round) {
            try {
                tvc::load_runtime_library("absent_sibling.dll");
                ++load_mismatches;
            } catch (const tvc::apiException &error) {
                if (error.what() != load_expected || tvc::last_error_text() != load_text) ++load_mismatches;
            }
        }
    });
    std::thread binding([&] {
        gate.arrive_and_wait();
        for (int round = 0; round < rounds; ++round) {
            int (*slot)(int) = nullptr;
            try {
                tvc::bind_symbol(module, slot, "loader_absent_function");
                ++bind_mismatches;
            } catch (const tvc::apiException &error) {
                if (error.what() != bind_expected || tvc::last_error_text() != bind_text) ++bind_mismatches;
            }
        }
    });
    loading.join();
    binding.join();
    EXPECT_EQ(load_mismatches, 0);
    EXPECT_EQ(bind_mismatches, 0);
}
