// Directories of one test's own: a tree under the temp directory, removed
// with everything in it when the owner goes away, and a directory too long
// for the narrow path functions.
#pragma once

#include <string>
#include <vector>

namespace tvc_test {

class scratch_layout {
public:
    scratch_layout();  // a new <temp>\tvc-test-<random> directory
    ~scratch_layout();
    scratch_layout(const scratch_layout &) = delete;
    scratch_layout &operator=(const scratch_layout &) = delete;

    // Absolute path of a directory inside the layout, ending in a backslash.
    std::string dir(const std::string &relative = "") const;
    // Creates the directory with its parents; returns dir(relative).
    std::string make_dir(const std::string &relative) const;
    // Copies the DLL under test (found next to the test executable) into a
    // new directory of the layout; returns the copy's full path.
    std::string install_dll(const std::string &relative) const;

private:
    std::string root_;
};

// A directory whose path is longer than the narrow path functions accept
// (MAX_PATH), made and removed through the unlimited path form, which needs
// no long-path setting of the system. The files in its innermost directory
// go with it.
class long_path_directory {
public:
    // Makes base (an existing directory with its backslash) + each name in turn.
    long_path_directory(const std::string &base, const std::vector<std::string> &names);
    ~long_path_directory();
    long_path_directory(const long_path_directory &) = delete;
    long_path_directory &operator=(const long_path_directory &) = delete;

    bool created() const { return created_; }
    // The innermost directory, with its backslash.
    const std::string &path() const { return dirs_.back(); }
    // Copies a file into the innermost directory; its new path, or "" on failure.
    std::string copy_in(const std::string &source) const;

private:
    std::vector<std::string> dirs_;
    bool created_ = true;
};

// path in the unlimited form: \\?\ in front of an absolute path.
std::wstring unlimited(const std::string &path);

}  // namespace tvc_test
