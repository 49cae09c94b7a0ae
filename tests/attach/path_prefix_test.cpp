// PATH as the attach leaves it, read back byte for byte in a fresh process:
// near the variable's limit, with the library directory in front already,
// after a reload; and runtime roots whose last character is double-byte.
#include "attach/attach_child.h"
#include "support/code_page_932.h"
#include "support/scratch_layout.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

using tvc_test::attach_environment;
using tvc_test::report_value;

namespace {

// The value of every "PATH=" line of the host's output, in order.
std::vector<std::string> path_values(const std::string &output) {
    std::vector<std::string> values;
    for (std::size_t at = output.find("PATH="); at != std::string::npos; at = output.find("PATH=", at + 1)) {
        if (at != 0 && output[at - 1] != '\n') continue;
        values.push_back(output.substr(at + 5, output.find('\n', at) - at - 5));
    }
    return values;
}

class path_prefix : public testing::Test {
protected:
    tvc_test::scratch_layout layout;
    const std::string lib_dir = layout.dir("R\\bin\\win64");
    const std::string dll = layout.install_dll("R\\bin\\win64");
    const std::string default_path = attach_environment{}.path.value();

    std::string run(const attach_environment &environment, const std::string &option = "") {
        return tvc_test::run_attach_host(dll, environment, layout.dir(), option);
    }
};

}  // namespace

TEST_F(path_prefix, goes_in_front_only_when_it_fits_and_is_not_there_yet) {
    // A value holds 32,767 characters with its terminator.
    const std::string room(32766 - lib_dir.size() - 1, 'p');
    std::string upper = lib_dir;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
    enum outcome { prefixed, unchanged, too_long };
    const struct {
        const char *what;
        std::string path;
        outcome expected;
    } rows[] = {
        {"result exactly at the limit", room, prefixed},
        {"one character over", room + "p", too_long},
        {"far over", std::string(32740, 'p'), too_long},
        {"in front already, other case", upper + ";" + default_path, unchanged},
        {"in front already, alone", lib_dir, unchanged},
        {"a subdirectory in front", lib_dir + "sub;" + default_path, prefixed},
        {"in second place", default_path + ";" + lib_dir, prefixed},
    };
    for (const auto &row : rows) {
        attach_environment environment;
        environment.path = row.path;
        const std::string output = run(environment);
        const std::string expected = row.expected == prefixed ? lib_dir + ";" + row.path : row.path;
        EXPECT_EQ(path_values(output), std::vector<std::string>{expected}) << row.what;
        EXPECT_EQ(output.find("PATH left as it was") != std::string::npos, row.expected == too_long) << row.what;
    }
}

TEST_F(path_prefix, a_reload_in_the_same_process_leaves_it_as_the_first_load_did) {
    EXPECT_EQ(path_values(run({}, "--reload")),
              std::vector<std::string>(2, lib_dir + ";" + default_path));
}

// "ソ" is 0x83 0x5C in code page 932: its second byte is the backslash's. A
// root or toolbox directory ending in it still gets its separator, and the
// directories below it are found.
class CodePage932 : public path_prefix {};

TEST_F(CodePage932, roots_ending_in_a_double_byte_character_whose_second_byte_is_a_backslash) {
    TVC_ONLY_UNDER_CODE_PAGE_932();
    const std::string so = "\x83\x5C";
    const std::string root = layout.dir() + so + "\\";
    const std::string toolbox = layout.dir("T") + so + "\\";
    for (const std::string &dir : {root, root + "bin\\", root + "bin\\win64\\", layout.dir("T"), toolbox,
                                   layout.dir("T\\compiler")}) {
        ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr)) << dir;
    }
    for (bool trailing_backslash : {false, true}) {
        attach_environment environment;
        environment.vrtroot = trailing_backslash ? root : root.substr(0, root.size() - 1);
        environment.toolbox_tovan_dir = trailing_backslash ? toolbox : toolbox.substr(0, toolbox.size() - 1);
        const std::string output = run(environment);
        EXPECT_EQ(report_value(output, "VRTROOT path:"), root) << trailing_backslash;
        EXPECT_EQ(report_value(output, "Runtime lib path:"), root + "bin\\win64\\") << trailing_backslash;
        EXPECT_EQ(report_value(output, "Installed toolbox path:"), toolbox) << trailing_backslash;
        EXPECT_EQ(report_value(output, "Toolbox prefix:"), layout.dir("T")) << trailing_backslash;
        EXPECT_EQ(report_value(output, "Installed deployment toolbox path:"), layout.dir("T\\compiler"))
            << trailing_backslash;
        EXPECT_EQ(path_values(output), std::vector<std::string>{root + "bin\\win64\\;" + default_path})
            << trailing_backslash;
    }
}
