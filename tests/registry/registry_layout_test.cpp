#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "registration/server_registration.h"

TEST(ServerLayout, NamedValuesFollowTheRowThatCreatesTheirKey) {
    // set_named_value never creates a key, so each named value needs an
    // earlier default-value row for the same key written under the same condition.
    for (std::size_t row = 0; row < std::size(tvc::server_layout); ++row) {
        const tvc::layout_row &named = tvc::server_layout[row];
        if (named.value_name == nullptr) continue;
        bool key_created_before = false;
        for (std::size_t earlier = 0; earlier < row; ++earlier) {
            const tvc::layout_row &creator = tvc::server_layout[earlier];
            key_created_before |= creator.value_name == nullptr &&
                                  std::strcmp(creator.key_pattern, named.key_pattern) == 0 &&
                                  (creator.condition == tvc::layout_condition::always ||
                                   creator.condition == named.condition);
        }
        EXPECT_TRUE(key_created_before) << named.key_pattern << " : " << named.value_name;
    }
}

TEST(ServerLayout, PlaceholdersAreFilledInOnePass) {
    tvc::registration_texts texts;
    texts.clsid = "{C}";
    texts.prog_id = "Prog.{clsid}.1";
    texts.version_independent_prog_id = "Prog";
    tvc::registry_key_path path;
    ASSERT_TRUE(tvc::expand_key_pattern(path, "<prog_id>\\CLSID", texts));
    EXPECT_STREQ(path.text, "Prog.{clsid}.1\\CLSID");
    ASSERT_TRUE(tvc::expand_key_pattern(path, "CLSID\\{clsid}\\x", texts));
    EXPECT_STREQ(path.text, "CLSID\\{C}\\x");

    const std::string long_prog_id(1020, 'p');
    texts.prog_id = long_prog_id.c_str();
    EXPECT_TRUE(tvc::expand_key_pattern(path, "<prog_id>", texts));
    EXPECT_FALSE(tvc::expand_key_pattern(path, "<prog_id>\\CLSID", texts));
    EXPECT_STREQ(path.text, "");

    texts.prog_id = nullptr;
    EXPECT_FALSE(tvc::expand_key_pattern(path, "<prog_id>", texts));
}

TEST(ModuleFilePath, TakesTheWholePathWhateverTheFirstBufferSize) {
    std::string reference;
    ASSERT_EQ(tvc::module_file_path(nullptr, reference), S_OK);
    ASSERT_GT(reference.size(), 4u);
    EXPECT_EQ(reference.substr(reference.size() - 4), ".exe");
    EXPECT_EQ(reference.find('\0'), std::string::npos);

    // Starting buffers shorter than, exactly as long as, and one more than the
    // path all end with the same full path.
    const DWORD length = static_cast<DWORD>(reference.size());
    for (DWORD first : {DWORD{1}, DWORD{7}, length, length + 1}) {
        std::string path;
        EXPECT_EQ(tvc::module_file_path(nullptr, path, first), S_OK) << first;
        EXPECT_EQ(path, reference) << first;
    }

    std::string path = "stale";
    EXPECT_EQ(tvc::module_file_path(reinterpret_cast<HMODULE>(0x10), path), E_UNEXPECTED);
    EXPECT_TRUE(path.empty());
}
