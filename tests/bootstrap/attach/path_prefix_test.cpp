// PATH as the attach leaves it, read back byte for byte in a fresh process.
#include "tests/bootstrap/attach/attach_child.h"
#include "support/code_page_932.h"
#include "support/scratch_layout.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cctype>
#include <cstddef>
#include <cstring>
#include <optional>
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

class PathPrefix : public testing::Test {
protected:
    tvc_test::scratch_layout layout;
    const std::string lib_dir = layout.dir("R\\bin\\win64");
    const std::string dll = layout.install_dll("R\\bin\\win64");
    const std::string old_path = attach_environment{}.path.value();
};

}  // namespace

TEST_F(PathPrefix, GoesInFrontOnceAndOnlyWhenItFits) {
    const std::string longest(32766 - lib_dir.size() - 1, 'p');  // with the prefix: 32,767 with the NUL
    std::string upper = lib_dir;
    for (char &c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const struct {
        std::string path, host_option;
        std::vector<std::string> expected;  // PATH after each load
        std::string working_dir;            // the layout's when empty
    } rows[] = {
        {longest, "", {lib_dir + ";" + longest}, ""},
        {longest + "p", "", {longest + "p"}, ""},  // one character over: as it was, and said so
        {upper + ";" + old_path, "", {upper + ";" + old_path}, ""},
        {lib_dir, "", {lib_dir}, ""},
        {lib_dir + "sub;" + old_path, "", {lib_dir + ";" + lib_dir + "sub;" + old_path}, ""},
        {old_path + ";" + lib_dir, "", {lib_dir + ";" + old_path + ";" + lib_dir}, ""},
        {old_path, "--reload", {lib_dir + ";" + old_path, lib_dir + ";" + old_path}, ""},
        // A relative element names the directory only while the process
        // works there; the long-path form names it for good.
        {".;" + old_path, "", {lib_dir + ";.;" + old_path}, lib_dir},
        {"\\\\?\\" + lib_dir + ";" + old_path, "", {"\\\\?\\" + lib_dir + ";" + old_path}, ""},
    };
    for (const auto &row : rows) {
        attach_environment environment;
        environment.path = row.path;
        const std::string output = tvc_test::run_attach_host(
            dll, environment, row.working_dir.empty() ? layout.dir() : row.working_dir, row.host_option);
        EXPECT_EQ(path_values(output), row.expected) << row.path.substr(0, 100);
        EXPECT_EQ(output.find("PATH left as it was") != std::string::npos, &row == &rows[1]);
    }
}

// The line of one label in the output of the host's "--wide" run.
std::string line_value(const std::string &output, const std::string &label) {
    const std::size_t at = output.find("\n" + label);
    if (at == std::string::npos) return "<no line>";
    const std::size_t value = at + 1 + label.size();
    return output.substr(value, output.find('\n', value) - value);
}

// PATH is read and written in wide characters: an entry outside the process
// code page keeps every character, in the process environment and in the C
// runtime's copy alike. The directory already first under another spelling
// stays alone in front; an unset or empty PATH gets no empty element.
TEST_F(PathPrefix, IsDecidedAndWrittenInWideCharacters) {
    char short_form[MAX_PATH] = {};
    ASSERT_NE(GetShortPathNameA(lib_dir.c_str(), short_form, MAX_PATH), 0u);
    std::string slashes = lib_dir;
    for (char &c : slashes) c = c == '\\' ? '/' : c;
    const std::wstring wide_old(old_path.begin(), old_path.end());
    const struct {
        std::optional<std::wstring> path;
        std::string expected;  // UTF-8
    } rows[] = {
        {L"C:\\\u041f\u0440\u0438\u0432\u0435\u0442;" + wide_old,
         lib_dir + ";C:\\\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82;" + old_path},
        {std::wstring(lib_dir.begin(), lib_dir.end() - 1) + L";" + wide_old, lib_dir.substr(0, lib_dir.size() - 1) + ";" + old_path},
        {std::wstring(slashes.begin(), slashes.end()) + L";" + wide_old, slashes + ";" + old_path},
        {std::wstring(short_form, short_form + std::strlen(short_form)), short_form},
        {std::nullopt, lib_dir},
        {L"", lib_dir},
    };
    for (const auto &row : rows) {
        attach_environment environment;
        environment.path.reset();
        environment.wide_path = row.path;
        const std::string output = tvc_test::run_attach_host(dll, environment, layout.dir(), "--wide");
        EXPECT_EQ(line_value(output, "wide PATH="), row.expected) << row.expected;
        EXPECT_EQ(line_value(output, "C runtime PATH="), row.expected) << row.expected;
    }
}

// A directory whose name holds ";" cannot be one element of PATH: PATH stays
// as it was, load after load, and the verbose report says why.
TEST_F(PathPrefix, IsLeftAloneWhenTheDirectoryNameHoldsASeparator) {
    const std::string separated = layout.install_dll("S;x\\bin\\win64");
    attach_environment environment;
    const std::string output = tvc_test::run_attach_host(separated, environment, layout.dir(), "--reload");
    EXPECT_EQ(path_values(output), (std::vector<std::string>{old_path, old_path}));
    EXPECT_NE(output.find("PATH left as it was: the runtime library directory's name holds \";\""),
              std::string::npos) << output;
}

// "ソ" is 0x83 0x5C in code page 932, its second byte the backslash's. A
// root or toolbox directory ending in it still gets its separator.
class CodePage932 : public PathPrefix {};

TEST_F(CodePage932, RootsEndingInADoubleByteCharacterWhoseSecondByteIsABackslash) {
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
