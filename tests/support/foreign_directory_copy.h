// A module installed under a directory name that no narrow code page of the
// tests can hold (it has U+AC00 in it): a copy of a file next to the test
// executable, made, mapped and removed through the wide functions. It is
// mapped without running its code, so that any library will do.
#pragma once

#include <windows.h>

#include <string>

namespace tvc_test {

class foreign_directory_copy {
public:
    // source: a file next to the test executable; copy_name: the copy's file
    // name, plain ASCII.
    foreign_directory_copy(const std::string &source, const std::string &copy_name);
    ~foreign_directory_copy();
    foreign_directory_copy(const foreign_directory_copy &) = delete;
    foreign_directory_copy &operator=(const foreign_directory_copy &) = delete;

    HMODULE module() const { return module_; }  // null when it could not be made
    // Whether the volume gives the copy a short (8.3) name of its own.
    bool has_short_form() const;

private:
    std::wstring directory_;
    std::wstring file_;
    HMODULE module_ = nullptr;
};

}  // namespace tvc_test
