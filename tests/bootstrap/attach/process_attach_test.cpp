#include "bootstrap/attach.h"

#include "tvcvrtrt/api_exception.h"
#include "loading/runtime_paths.h"

#include <gtest/gtest.h>

#include <cstring>
#include <new>

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

TEST(DllEntry, DetachAndThreadNotificationsSucceedWithoutTouchingAnything) {
    tvc::runtime_paths_t kept{};
    std::strcpy(kept.runtime_lib_dir, "C:\\kept\\");
    tvc::publish_runtime_paths(kept);
    for (DWORD reason : {DLL_PROCESS_DETACH, DLL_THREAD_ATTACH, DLL_THREAD_DETACH}) {
        CaptureStdout();
        EXPECT_EQ(tvc::dll_entry(GetModuleHandleA(nullptr), reason), TRUE) << reason;
        EXPECT_EQ(GetCapturedStdout(), "") << reason;
    }
    EXPECT_STREQ(tvc::runtime_paths.runtime_lib_dir, "C:\\kept\\");
}

TEST(RunReportingFailure, PrintsTheFailureAndRefusesTheAttach) {
    CaptureStdout();
    EXPECT_EQ(tvc::run_reporting_failure([](HMODULE) { throw tvc::apiException("Fatal error: test"); }, nullptr),
              FALSE);
    EXPECT_EQ(GetCapturedStdout(), "Fatal error: test\n");

    CaptureStdout();
    EXPECT_EQ(tvc::run_reporting_failure([](HMODULE) { throw std::bad_alloc(); }, nullptr), FALSE);
    EXPECT_EQ(GetCapturedStdout(), "A fatal error has occurred while initializing libraries\n");

    CaptureStdout();
    EXPECT_EQ(tvc::run_reporting_failure([](HMODULE) {}, nullptr), TRUE);
    EXPECT_EQ(GetCapturedStdout(), "");
}
