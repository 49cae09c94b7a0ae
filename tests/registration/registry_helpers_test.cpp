#include <gtest/gtest.h>

#include <string>

#include "registration/registry.h"
#include "support/registry_test_support.h"

using namespace tvc_test;

namespace {

// A random key under the root that the test owns and removes.
struct scratch_key {
    std::string path = unique_name("TvcRegistryHelpers");
    cleanup removal{path};
};

}  // namespace

TEST(SetKeyAndValue, CreatesChildKeysAndWritesDefaultValuesAsNulTerminatedText) {
    scratch_key root;
    EXPECT_TRUE(tvc::set_key_and_value(root.path.c_str(), "Child", "first"));
    const stored_value written = read_value(root.path + "\\Child", nullptr);
    EXPECT_EQ(written.type, DWORD{REG_SZ});
    EXPECT_EQ(written.text, "first");
    EXPECT_EQ(written.bytes, 6u);

    // A null value opens the key and leaves its default as it was.
    EXPECT_TRUE(tvc::set_key_and_value((root.path + "\\Child").c_str(), nullptr, nullptr));
    EXPECT_EQ(read_value(root.path + "\\Child", nullptr).text, "first");

    EXPECT_TRUE(tvc::set_key_and_value(root.path.c_str(), nullptr, ""));
    const stored_value empty = read_value(root.path, nullptr);
    EXPECT_EQ(empty.type, DWORD{REG_SZ});
    EXPECT_EQ(empty.bytes, 1u);
}

TEST(SetNamedValue, WritesIntoExistingKeysOnly) {
    scratch_key root;
    EXPECT_FALSE(tvc::set_named_value(root.path.c_str(), "Name", "value"));
    EXPECT_FALSE(key_exists(root.path));

    create_key(root.path);
    EXPECT_TRUE(tvc::set_named_value(root.path.c_str(), "Name", "value"));
    EXPECT_EQ(read_value(root.path, "Name").text, "value");
    EXPECT_TRUE(tvc::set_named_value(root.path.c_str(), "Other", nullptr));
    EXPECT_FALSE(read_value(root.path, "Other").found);

    // Value names are limited to 16383 characters: the key opens, the write
    // fails, and that is a failure.
    const std::string too_long_name(16384, 'n');
    EXPECT_FALSE(tvc::set_named_value(root.path.c_str(), too_long_name.c_str(), "value"));
}

TEST(KeyPaths, OverLongPathsAreRefusedNotCut) {
    tvc::registry_key_path path;
    const std::string longest(1023, 'k');
    EXPECT_TRUE(tvc::compose_key_path(path, longest.c_str(), nullptr));
    EXPECT_EQ(std::string(path.text), longest);
    EXPECT_TRUE(tvc::compose_key_path(path, std::string(1000, 'k').c_str(), std::string(22, 'c').c_str()));
    EXPECT_EQ(std::string(path.text).size(), 1023u);
    EXPECT_FALSE(tvc::compose_key_path(path, std::string(1000, 'k').c_str(), std::string(23, 'c').c_str()));
    EXPECT_FALSE(tvc::compose_key_path(path, (longest + "k").c_str(), nullptr));
    EXPECT_FALSE(tvc::compose_key_path(path, nullptr, "child"));

    scratch_key root;
    const std::string over_long = root.path + "\\" + std::string(1100, 'x');
    EXPECT_FALSE(tvc::set_key_and_value(root.path.c_str(), std::string(1100, 'x').c_str(), "v"));
    EXPECT_FALSE(tvc::set_named_value(over_long.c_str(), "Name", "v"));
    EXPECT_NE(tvc::delete_key_tree(HKEY_CLASSES_ROOT, over_long.c_str()), ERROR_SUCCESS);
    EXPECT_FALSE(key_exists(root.path));
}

TEST(DeleteKeyTree, RemovesWholeTreesAndReportsMissingKeys) {
    scratch_key root;
    EXPECT_EQ(tvc::delete_key_tree(HKEY_CLASSES_ROOT, root.path.c_str()), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(key_exists(root.path));

    create_key(root.path + "\\A\\A1\\A11", "deep");
    create_key(root.path + "\\A\\A2");
    create_key(root.path + "\\B\\B1");
    create_key(root.path + "\\C", "leaf");
    const std::string sibling = root.path + "Sibling";
    cleanup sibling_removal{sibling};
    create_key(sibling);

    EXPECT_EQ(tvc::delete_key_tree(HKEY_CLASSES_ROOT, root.path.c_str()), ERROR_SUCCESS);
    EXPECT_FALSE(key_exists(root.path));
    EXPECT_TRUE(key_exists(sibling));
}

TEST(DeleteKeyTree, NeverDeletesTheParentItself) {
    // Tried on a parent the test owns, so that a fault costs only that key.
    scratch_key root;
    create_key(root.path + "\\Child\\Grandchild");
    HKEY parent = nullptr;
    ASSERT_EQ(::RegOpenKeyExA(HKEY_CLASSES_ROOT, root.path.c_str(), 0, KEY_ALL_ACCESS, &parent),
              ERROR_SUCCESS);
    EXPECT_EQ(tvc::delete_key_tree(parent, ""), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(tvc::delete_key_tree(parent, nullptr), ERROR_INVALID_PARAMETER);
    ::RegCloseKey(parent);
    EXPECT_TRUE(key_exists(root.path + "\\Child\\Grandchild"));

    // Under a root key a leading backslash is dropped, so "\\" alone would
    // name the root itself; any such path is refused.
    EXPECT_EQ(tvc::delete_key_tree(HKEY_CLASSES_ROOT, ("\\" + root.path).c_str()),
              ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(key_exists(root.path + "\\Child\\Grandchild"));
}
