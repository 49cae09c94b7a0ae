// Double-byte cases need a process whose ANSI code page is 932, fixed when it
// starts: ctest runs an executable's CodePage932.* tests once more in a
// Japanese locale with TVC_CODE_PAGE_932 set (tvc_add_wine_test's
// CODE_PAGE_932); the ordinary run skips them. The first statement of such a test.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>

#define TVC_ONLY_UNDER_CODE_PAGE_932()                                                        \
    if (std::getenv("TVC_CODE_PAGE_932") == nullptr) GTEST_SKIP() << "code page 932 run only"; \
    ASSERT_EQ(::GetACP(), 932u) << "the Japanese locale did not give code page 932"
