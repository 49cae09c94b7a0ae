#include <gtest/gtest.h>

#include <comcat.h>
#include <wrl/client.h>

#include <string>

#include "common/unique_resource.h"
#include "registration/component_category.h"
#include "support/registry_test_support.h"

using namespace tvc_test;

namespace {

// A category of the test's own, so that the shared ones stay untouched.
struct scratch_category {
    GUID id = random_guid();
    tvc::componentCategory category{id};
    std::string key = "Component Categories\\" + text_of(id);
    cleanup removal{key};
};

}  // namespace

TEST(ComponentCategory, RegistersUnderEnglishLocaleWithABoundedDescription) {
    scratch_category c;
    EXPECT_FALSE(c.category.is_registered());

    ASSERT_EQ(c.category.register_category(L"Scratch Components"), S_OK);
    EXPECT_TRUE(c.category.is_registered());
    // The manager names the description's value by the locale in hexadecimal.
    EXPECT_EQ(read_value(c.key, "409").text, "Scratch Components");

    const std::wstring long_description(200, L'd');
    ASSERT_EQ(c.category.register_category(long_description.c_str()), S_OK);
    EXPECT_EQ(read_value(c.key, "409").text, std::string(127, 'd'));

    ASSERT_EQ(c.category.register_category(nullptr), S_OK);
    const stored_value empty = read_value(c.key, "409");
    EXPECT_TRUE(empty.found);
    EXPECT_EQ(empty.text, "");
}

TEST(ComponentCategory, AddsAndRemovesClassMembership) {
    scratch_category c;
    const GUID clsid = random_guid();
    const std::string clsid_key = "CLSID\\" + text_of(clsid);
    const std::string membership = clsid_key + "\\Implemented Categories\\" + text_of(c.id);
    cleanup class_removal{clsid_key};

    ASSERT_EQ(c.category.register_class(clsid, true), S_OK);
    EXPECT_TRUE(key_exists(membership));
    ASSERT_EQ(c.category.register_class(clsid, false), S_OK);
    EXPECT_FALSE(key_exists(membership));
    // A membership the manager does not know: its own answer is passed on
    // (E_FAIL under Wine 8), and no key is made. Under Wine 8 the emptied
    // "Implemented Categories" key above stays.
    const GUID unknown = random_guid();
    CATID category = c.id;
    const tvc::unique_com_initialization com(SUCCEEDED(::CoInitialize(nullptr)));
    Microsoft::WRL::ComPtr<ICatRegister> manager;
    ASSERT_EQ(::CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_PPV_ARGS(&manager)), S_OK);
    EXPECT_EQ(c.category.register_class(unknown, false),
              manager->UnRegisterClassImplCategories(unknown, 1, &category));
    EXPECT_FALSE(key_exists("CLSID\\" + text_of(unknown)));
}
