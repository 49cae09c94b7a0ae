#include <gtest/gtest.h>

#include <string>

#include "tvcvrtrt/api_exception.h"
#include "loading/symbol_binder.h"
#include "tests/loading/loader_test_support.h"

using namespace tvc_test;

namespace {

constexpr char stand_in_file[] = "loader_symbol_source.dll";

int stale_function(int) { return -1; }

}  // namespace

TEST(BindSymbol, FillsSlotsOfAnyFunctionType) {
    HMODULE module = ::LoadLibraryA(stand_in_file);
    ASSERT_NE(module, nullptr);

    int (*known_function)(int) = nullptr;
    EXPECT_EQ(tvc::bind_symbol(module, known_function, "loader_known_function"), known_function);
    ASSERT_NE(known_function, nullptr);
    EXPECT_EQ(known_function(4), 13);

    const char *(*known_name)() = nullptr;
    tvc::bind_symbol(module, known_name, "loader_known_name");
    ASSERT_NE(known_name, nullptr);
    EXPECT_STREQ(known_name(), "symbol source");
}

TEST(BindSymbol, MissingSymbolEmptiesTheSlotAndNamesSymbolModuleAndReason) {
    HMODULE module = ::LoadLibraryA(stand_in_file);
    ASSERT_NE(module, nullptr);

    int (*slot)(int) = stale_function;
    std::string message;
    try {
        tvc::bind_symbol(module, slot, "loader_absent_function");
    } catch (const tvc::apiException &error) {
        message = error.what();
    }
    EXPECT_EQ(message, "Fatal error finding symbol loader_absent_function in " + executable_directory() +
                           stand_in_file + " Error: " + system_text(ERROR_PROC_NOT_FOUND));
    EXPECT_EQ(slot, nullptr);
    EXPECT_EQ(::GetModuleHandleA(stand_in_file), module);
}
