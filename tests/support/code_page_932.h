// Cases on double-byte text need a process whose ANSI code page is 932, and
// a process's code page is fixed when it starts. ctest runs the CodePage932.*
// tests of an executable a second time in a Japanese locale with
// TVC_CODE_PAGE_932 set (tvc_add_wine_test's CODE_PAGE_932); in the ordinary
// run they are skipped. Used as the first statement of such a test.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>

#define TVC_ONLY_UNDER_CODE_PAGE_932()                                                       \
    do {                                                                                     \
        if (std::getenv("TVC_CODE_PAGE_932") == nullptr) GTEST_SKIP() << "code page 932 run only"; \
        ASSERT_EQ(::GetACP(), 932u) << "the Japanese locale did not give code page 932";     \
        ASSERT_TRUE(::IsDBCSLeadByte(0x83));                                                 \
    } while (0)
