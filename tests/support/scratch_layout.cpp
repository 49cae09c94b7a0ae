#include "support/scratch_layout.h"

#include "support/child_process.h"
#include "common/code_page_text.h"
#include "common/unlimited_path.h"

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
    std::snprintf(name, sizeof name, "tvc-test-%016llx\\", tag);
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
    fs::copy_file(executable_directory() + "tvcvrtrt7_17.dll", target);
    return target;
}

std::wstring unlimited(const std::string &path) { return tvc::unlimited_path(tvc::widened(path)); }

long_path_directory::long_path_directory(const std::string &base, const std::vector<std::string> &names) {
    std::string path = base;
    for (const std::string &name : names) {
        path += name + "\\";
        dirs_.push_back(path);
        created_ = created_ && CreateDirectoryW(unlimited(path).c_str(), nullptr);
    }
}

long_path_directory::~long_path_directory() {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(unlimited(path() + "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
                DeleteFileW((unlimited(path()) + found.cFileName).c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    for (auto dir = dirs_.rbegin(); dir != dirs_.rend(); ++dir) RemoveDirectoryW(unlimited(*dir).c_str());
}

std::string long_path_directory::copy_in(const std::string &source) const {
    const std::string target = path() + source.substr(source.find_last_of('\\') + 1);
    return CopyFileW(unlimited(source).c_str(), unlimited(target).c_str(), TRUE) ? target : "";
}

}  // namespace tvc_test
