// A host with default DLL directories over an installed runtime: the
// runtime's own loads by bare name find its library directory.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "support/child_process.h"
#include "support/scratch_layout.h"

TEST(DllDirectories, AHostWithDefaultDirectoriesFindsTheRuntimesSiblingsByBareName) {
    tvc_test::scratch_layout layout;
    const std::string lib_dir = layout.make_dir("R\\bin\\win64");
    const std::string dll = layout.install_dll("R\\bin\\win64");
    const std::string reference_runtime = tvc_test::executable_directory() + "..\\demo-runtime\\bin\\win64\\";
    for (const char *file : {"libka.dll", "libvlt.dll", "tvcvrt.dll", "tvcbase.dll", "libbx.dll"}) {
        ASSERT_TRUE(CopyFileA((reference_runtime + file).c_str(), (lib_dir + file).c_str(), TRUE)) << file;
    }
    // A sibling that only the runtime's directory holds.
    ASSERT_TRUE(CopyFileA((tvc_test::executable_directory() + "loader_symbol_source.dll").c_str(),
                          (lib_dir + "runtime_sibling.dll").c_str(), TRUE));

    const tvc_test::child_run run =
        tvc_test::run_child("dll_directories_host.exe", {dll, "runtime_sibling.dll"},
                                static_cast<const char *>(nullptr), layout.dir().c_str());
    EXPECT_EQ(run.exit_code, 0u) << run.output;
    EXPECT_NE(run.output.find("init=1 sibling=1\n"), std::string::npos) << run.output;
}
