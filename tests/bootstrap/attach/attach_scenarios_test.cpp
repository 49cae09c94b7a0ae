// Each scenario lays out an installation under the temp directory, loads a
// copy of the DLL from it in a fresh process and checks what the attach
// reported and did to PATH.
#include "tests/bootstrap/attach/attach_child.h"
#include "support/child_process.h"
#include "support/scratch_layout.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstddef>
#include <string>

using tvc_test::attach_environment;
using tvc_test::report_value;

namespace {

bool directory_exists(const std::string &path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

class Attach : public testing::Test {
protected:
    tvc_test::scratch_layout layout;
    const std::string root = layout.dir("R");
    const std::string lib_dir = layout.dir("R\\bin\\win64");
    const std::string dll = layout.install_dll("R\\bin\\win64");

    // The child runs in the layout, so a missing toolbox directory makes
    // the layout's drive root the toolbox prefix.
    const std::string drive_root = layout.dir().substr(0, 3);
    const std::string drive_compiler = directory_exists(drive_root + "compiler") ? drive_root + "compiler\\" : "";

    std::string run(const attach_environment &environment) {
        return tvc_test::run_attach_host(dll, environment, layout.dir());
    }
    std::string run_from(const std::string &dll_path, const attach_environment &environment) {
        return tvc_test::run_attach_host(dll_path, environment, layout.dir());
    }
};

TEST_F(Attach, LayoutAloneGivesRootAndLibraryDirAndReportsThemAligned) {
    EXPECT_EQ(run({}),
              "Module path:                       " + lib_dir + "\n"
              "VRTROOT path:                      " + root + "\n"
              "Runtime lib path:                  " + lib_dir + "\n"
              "Installed toolbox path:            \n"
              "Toolbox prefix:                    " + drive_root + "\n"
              "Installed deployment toolbox path: " + drive_compiler + "\n"
              "loaded=1 error=0\n"
              "PATH=" + lib_dir + ";C:\\windows\\system32;C:\\windows\n"
              // Thread attach and detach, then process detach: all silent.
              "unloaded\n");
}

TEST_F(Attach, AnyValueOfTheVerboseVariableSwitchesTheReportOn) {
    for (const char *value : {"", "0", "yes"}) {
        attach_environment environment;
        environment.verbose = value;
        EXPECT_EQ(report_value(run(environment), "Module path:"), lib_dir) << '"' << value << '"';
    }
}

TEST_F(Attach, UnsetVerbosePrintsNothingAndUnsetPathBecomesTheLibraryDir) {
    attach_environment environment;
    environment.verbose.reset();
    environment.path.reset();
    EXPECT_EQ(run(environment), "loaded=1 error=0\nPATH=" + lib_dir + "\nunloaded\n");
}

TEST_F(Attach, UsableVrtrootWinsAndAnUnusableOneIsIgnored) {
    const std::string other_root = layout.dir("other");
    const std::string other_lib_dir = layout.make_dir("other\\bin\\win64");
    const std::string bare_root = layout.make_dir("bare");

    attach_environment environment;
    environment.vrtroot = other_root.substr(0, other_root.size() - 1);  // no trailing backslash
    std::string output = run(environment);
    EXPECT_EQ(report_value(output, "VRTROOT path:"), other_root);
    EXPECT_EQ(report_value(output, "Runtime lib path:"), other_lib_dir);
    EXPECT_NE(output.find("\nPATH=" + other_lib_dir + ";C:\\windows"), std::string::npos) << output;

    environment.vrtroot = bare_root;
    output = run(environment);
    EXPECT_EQ(report_value(output, "VRTROOT path:"), bare_root);
    EXPECT_EQ(report_value(output, "Runtime lib path:"), lib_dir);

    environment.vrtroot = layout.dir("missing");
    output = run(environment);
    EXPECT_EQ(report_value(output, "VRTROOT path:"), root);
    EXPECT_EQ(report_value(output, "Runtime lib path:"), lib_dir);
}

// VRTROOT with a character outside the process code page: read in wide
// characters, it is taken in its short form where the volume has one (Wine
// always makes one); without one the verbose report says why it is not used.
TEST_F(Attach, VrtrootOutsideTheCodePageIsTakenInItsShortFormOrNamedAsNotUsed) {
    const std::string parent = layout.make_dir("V");  // the temp directory's name is ASCII
    const std::wstring foreign_root = std::wstring(parent.begin(), parent.end()) + L"root-\uAC00";
    ASSERT_TRUE(CreateDirectoryW(foreign_root.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((foreign_root + L"\\bin").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((foreign_root + L"\\bin\\win64").c_str(), nullptr));
    wchar_t short_root[MAX_PATH];
    const DWORD length = GetShortPathNameW(foreign_root.c_str(), short_root, MAX_PATH);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, static_cast<DWORD>(MAX_PATH));
    std::string narrow_short(short_root, short_root + length);

    tvc_test::attach_environment environment;
    environment.wide_vrtroot = foreign_root;
    std::string output = run(environment);
    EXPECT_EQ(report_value(output, "VRTROOT path:"), narrow_short + "\\") << output;
    EXPECT_EQ(report_value(output, "Runtime lib path:"), narrow_short + "\\bin\\win64\\") << output;

    environment.wide_vrtroot = foreign_root + L"-missing";
    output = run(environment);
    EXPECT_EQ(output.rfind("VRTROOT not used: its value holds characters outside the process code page", 0), 0u)
        << output;
    EXPECT_EQ(report_value(output, "VRTROOT path:"), root) << output;
}

TEST_F(Attach, ToolboxDerivationPrefersTheCompilerLayout) {
    const std::string tovan = layout.make_dir("R\\toolbox\\tovan");
    std::string output = run({});
    EXPECT_EQ(report_value(output, "Installed toolbox path:"), tovan);
    EXPECT_EQ(report_value(output, "Toolbox prefix:"), layout.dir("R\\toolbox"));
    EXPECT_EQ(report_value(output, "Installed deployment toolbox path:"), "");

    const std::string deploy = layout.make_dir("R\\toolbox\\compiler");
    EXPECT_EQ(report_value(run({}), "Installed deployment toolbox path:"), deploy);

    const std::string compiler_tovan = layout.make_dir("R\\toolbox\\compiler\\vrt\\tovan");
    output = run({});
    EXPECT_EQ(report_value(output, "Installed toolbox path:"), compiler_tovan);
    EXPECT_EQ(report_value(output, "Toolbox prefix:"), layout.dir("R\\toolbox\\compiler\\vrt"));
    EXPECT_EQ(report_value(output, "Installed deployment toolbox path:"), "");

    const std::string compiler_deploy = layout.make_dir("R\\toolbox\\compiler\\vrt\\compiler");
    EXPECT_EQ(report_value(run({}), "Installed deployment toolbox path:"), compiler_deploy);
}

TEST_F(Attach, UsableToolboxVariableWinsAndAnUnusableOneIsIgnored) {
    const std::string derived = layout.make_dir("R\\toolbox\\tovan");
    const std::string given = layout.make_dir("T\\tovan");
    const std::string given_deploy = layout.make_dir("T\\compiler");

    attach_environment environment;
    environment.toolbox_tovan_dir = given;
    std::string output = run(environment);
    EXPECT_EQ(report_value(output, "Installed toolbox path:"), given);
    EXPECT_EQ(report_value(output, "Toolbox prefix:"), layout.dir("T"));
    EXPECT_EQ(report_value(output, "Installed deployment toolbox path:"), given_deploy);

    environment.toolbox_tovan_dir = layout.dir("T\\missing");
    output = run(environment);
    EXPECT_EQ(report_value(output, "Installed toolbox path:"), derived);
    EXPECT_EQ(report_value(output, "Toolbox prefix:"), layout.dir("R\\toolbox"));
}

// Paths near and past MAX_PATH, which the narrow path functions refuse: a
// module directory of 256 characters, whose root candidate two levels up
// ("<dir>\\..\\..") is longer than MAX_PATH although the root is not; and a
// VRTROOT of 252 characters whose bin\\win64\\ (263) holds the runtime
// libraries. Both directories are found: the root is the layout's parent,
// never the working directory (the layout itself), and the runtime library
// directory is the long one.
TEST_F(Attach, DirectoriesNearAndPastMaxPathAreFound) {
    ASSERT_LT(layout.dir().size(), 200u);
    const std::size_t padding = 256 - layout.dir().size() - 1;
    const std::string deep_dll = layout.install_dll(std::string(padding, 'd'));
    const std::string deep_dir = deep_dll.substr(0, deep_dll.rfind('\\') + 1);
    const std::string layout_parent = layout.dir().substr(0, layout.dir().rfind('\\', layout.dir().size() - 2) + 1);

    std::string output = run_from(deep_dll, {});
    EXPECT_EQ(report_value(output, "Module path:"), deep_dir) << output;
    EXPECT_EQ(report_value(output, "VRTROOT path:"), layout_parent) << output;
    EXPECT_EQ(report_value(output, "Runtime lib path:"), deep_dir) << output;
    EXPECT_NE(output.find("\nPATH=" + deep_dir + ";C:\\windows\\system32;C:\\windows\n"), std::string::npos) << output;

    const std::string long_root = layout.dir() + std::string(252 - layout.dir().size(), 'v');
    const tvc_test::long_path_directory long_lib_dir(layout.dir(), {long_root.substr(layout.dir().size()), "bin", "win64"});
    ASSERT_TRUE(long_lib_dir.created());
    ASSERT_EQ(long_lib_dir.path().size(), 263u);
    attach_environment environment;
    environment.vrtroot = long_root;
    output = run(environment);
    EXPECT_EQ(report_value(output, "VRTROOT path:"), long_root + "\\") << output;
    EXPECT_EQ(report_value(output, "Runtime lib path:"), long_lib_dir.path()) << output;
}

// Each thread that failed to find a symbol keeps the system's text for it.
// Holding those texts must not keep the library in the process.
TEST_F(Attach, FailedLookupsOnSeveralThreadsDoNotKeepTheLibraryLoaded) {
    attach_environment quiet;
    quiet.verbose.reset();
    EXPECT_EQ(tvc_test::run_attach_host(dll, quiet, layout.dir(),
                                        tvc_test::executable_directory() + "bx_without_printer\\libbx.dll"),
              "loaded=1 error=0\nPATH=" + lib_dir + ";C:\\windows\\system32;C:\\windows\nunloaded\n");
}

// An acquire of the lock made before the runtime is bound is counted, so
// that its release reaches nothing either; it keeps the library loaded, so
// that a FreeLibrary and LoadLibrary between the two lose no count.
TEST_F(Attach, AnAcquireBeforeBindingKeepsTheLibraryLoaded) {
    attach_environment quiet;
    quiet.verbose.reset();
    EXPECT_EQ(tvc_test::run_attach_host(dll, quiet, layout.dir(), "--acquire-then-unload"),
              "loaded=1 error=0\nPATH=" + lib_dir + ";C:\\windows\\system32;C:\\windows\nstill loaded\n");
}

// The library lies in a directory of 280 characters and the process works
// elsewhere. The C runtime's path splitting gives an empty directory for
// one that long, which resolved to the working directory; the narrow path
// functions refuse it. It is found.
TEST_F(Attach, ModuleDirectoryTooLongForNarrowPathsIsFound) {
    const tvc_test::long_path_directory long_dir(layout.dir(), {std::string(279 - layout.dir().size(), 'l')});
    ASSERT_EQ(long_dir.path().size(), 280u);
    const std::string long_dll = long_dir.copy_in(tvc_test::executable_directory() + "tvcvrtrt7_17.dll");
    ASSERT_TRUE(long_dir.created() && !long_dll.empty());

    const std::string output = run_from(long_dll, {});
    EXPECT_EQ(report_value(output, "Module path:"), long_dir.path()) << output;
}

}  // namespace
