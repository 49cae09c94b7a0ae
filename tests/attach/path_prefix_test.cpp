// PATH as the attach leaves it, read back byte for byte in a fresh process.
#include "attach/attach_child.h"
#include "support/code_page_932.h"
#include "support/scratch_layout.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cctype>
#include <cstddef>
#include <string>
#include <vector>

using tvc_test::attach_environment;
using tvc_test::report_value;

namespace {

// The value of every "PATH=" line of the host's output, in order.
std::vector<std::string> path_values(const std::string &output) {
    std::vector<std::string> values;
    for (std::size_t at = output.find("\nPATH="); at != std::string::npos; at = output.find("\nPATH=", at + 1)) {
        values.push_back(output.substr(at + 6, output.find('\n', at + 1) - at - 6));
    }
    return values;
}

class path_prefix : public testing::Test {
protected:
    tvc_test::scratch_layout layout;
    const std::string lib_dir = layout.dir("R\\bin\\win64");
    const std::string dll = layout.install_dll("R\\bin\\win64");
    const std::string old_path = attach_environment{}.path.value();
};

}  // namespace

TEST_F(path_prefix, goes_in_front_once_and_only_when_it_fits) {
    const std::string longest(32766 - lib_dir.size() - 1, 'p');  // with the prefix: 32,767 with the NUL
    std::string upper = lib_dir;
    for (char &c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const struct {
        std::string path, host_option;
        std::vector<std::string> expected;  // PATH after each load
    } rows[] = {
        {longest, "", {lib_dir + ";" + longest}},
        {longest + "p", "", {longest + "p"}},  // one character over: as it was, and said so
        {upper + ";" + old_path, "", {upper + ";" + old_path}},
        {lib_dir, "", {lib_dir}},
        {lib_dir + "sub;" + old_path, "", {lib_dir + ";" + lib_dir + "sub;" + old_path}},
        {old_path + ";" + lib_dir, "", {lib_dir + ";" + old_path + ";" + lib_dir}},
        {old_path, "--reload", {lib_dir + ";" + old_path, lib_dir + ";" + old_path}},
    };
    for (const auto &row : rows) {
        attach_environment environment;
        environment.path = row.path;
        const std::string output = tvc_test::run_attach_host(dll, environment, layout.dir(), row.host_option);
        EXPECT_EQ(path_values(output), row.expected) << row.path.substr(0, 100);
        EXPECT_EQ(output.find("PATH left as it was") != std::string::npos, &row == &rows[1]);
    }
}

// "ソ" is 0x83 0x5C in code page 932, its second byte the backslash's. A
// root or toolbox directory ending in it still gets its separator.
class CodePage932 : public path_prefix {};

TEST_F(CodePage932, roots_ending_in_a_double_byte_character_whose_second_byte_is_a_backslash) {
    TVC_ONLY_UNDER_CODE_PAGE_932();
    const std::string root = layout.dir() + "\x83\x5C\\", toolbox = layout.dir("T") + "\x83\x5C\\";
    for (const std::string &dir : {root, root + "bin\\", root + "bin\\win64\\", layout.dir("T"), toolbox,
                                   layout.dir("T\\compiler")}) {
        ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr)) << dir;
    }
    for (std::size_t cut : {1, 0}) {  // without and with the trailing backslash
        attach_environment environment;
        environment.vrtroot = root.substr(0, root.size() - cut);
        environment.toolbox_tovan_dir = toolbox.substr(0, toolbox.size() - cut);
        const std::string output = tvc_test::run_attach_host(dll, environment, layout.dir());
        EXPECT_EQ(report_value(output, "VRTROOT path:"), root) << cut;
        EXPECT_EQ(report_value(output, "Installed toolbox path:"), toolbox) << cut;
        EXPECT_EQ(report_value(output, "Toolbox prefix:"), layout.dir("T")) << cut;
        EXPECT_EQ(report_value(output, "Installed deployment toolbox path:"), layout.dir("T\\compiler")) << cut;
        EXPECT_EQ(path_values(output), std::vector<std::string>{root + "bin\\win64\\;" + old_path}) << cut;
    }
}
