#include <gtest/gtest.h>

#include <exception>
#include <string>

#include "tvcvrtrt/api_exception.h"

namespace {

// Stands for a subclass whose what() differs from the stored message, to show
// that a copy takes its text through the virtual call.
class rewording_exception : public tvc::apiException {
public:
    rewording_exception() : tvc::apiException("stored") {}
    const char *what() const noexcept override { return "reworded"; }
};

}  // namespace

TEST(ApiException, KeepsItsTextThroughNullCopiesAndStdExceptionHandlers) {
    EXPECT_STREQ(tvc::apiException(static_cast<const char *>(nullptr)).what(), "");

    const std::string text = "Fatal error loading library C:\\rt\\libka.dll Error: reason.\r\n";
    const tvc::apiException original(text);
    const tvc::apiException copy(original);
    EXPECT_EQ(copy.what(), text);
    EXPECT_NE(static_cast<const void *>(copy.what()), static_cast<const void *>(original.what()));

    const rewording_exception reworded;
    EXPECT_STREQ(tvc::apiException(reworded).what(), "reworded");

    std::string caught;
    try {
        throw tvc::apiException(text);
    } catch (const std::exception &error) {
        caught = error.what();
    }
    EXPECT_EQ(caught, text);
}
