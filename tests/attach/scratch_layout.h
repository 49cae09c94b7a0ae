// A directory tree of one test's own under the temp directory, removed with
// everything in it when the owner goes away.
#pragma once

#include <string>

namespace tvc_test {

class scratch_layout {
public:
    scratch_layout();  // a new <temp>\tvc-attach-<random> directory
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

}  // namespace tvc_test
