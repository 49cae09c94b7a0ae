#include "attach/scratch_layout.h"

#include "support/child_process.h"

#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <system_error>

namespace tvc_test {

namespace fs = std::filesystem;

scratch_layout::scratch_layout() {
    char temp[MAX_PATH];
    char long_temp[MAX_PATH];
    if (GetTempPathA(MAX_PATH, temp) == 0 || GetLongPathNameA(temp, long_temp, MAX_PATH) == 0) {
        throw std::runtime_error("temp directory");
    }
    std::random_device entropy;
    const unsigned long long tag = (static_cast<unsigned long long>(entropy()) << 32) ^ entropy();
    char name[40];
    std::snprintf(name, sizeof name, "tvc-attach-%016llx\\", tag);
    std::string temp_dir(long_temp);
    if (temp_dir.back() != '\\') temp_dir += '\\';
    root_ = temp_dir + name;
    fs::create_directories(root_);
}

scratch_layout::~scratch_layout() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

std::string scratch_layout::dir(const std::string &relative) const {
    std::string path = root_ + relative;
    if (path.back() != '\\') path += '\\';
    return path;
}

std::string scratch_layout::make_dir(const std::string &relative) const {
    fs::create_directories(dir(relative));
    return dir(relative);
}

std::string scratch_layout::install_dll(const std::string &relative) const {
    const std::string target = make_dir(relative) + "tvcvrtrt7_17.dll";
    fs::copy_file(executable_dir() + "tvcvrtrt7_17.dll", target);
    return target;
}

}  // namespace tvc_test
