// A module installed under a directory name that no narrow code page of the
// tests can hold (U+AC00 in it): a copy of a file next to the test
// executable, mapped without running its code, removed with its directory.
#pragma once

#include <windows.h>

#include <string>

#include "support/child_process.h"

namespace tvc_test {

struct foreign_directory_copy {
    std::wstring directory, file;
    HMODULE module = nullptr;

    // copy_name: the copy's file name, in ASCII.
    foreign_directory_copy(const std::string &source, const std::string &copy_name) {
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        directory = temp + (L"tvc-\uAC00-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                            std::to_wstring(::GetTickCount64()));
        file = directory + L"\\" + std::wstring(copy_name.begin(), copy_name.end());
        const std::string from = executable_directory() + source;  // the build tree is ASCII
        if (::CreateDirectoryW(directory.c_str(), nullptr) &&
            ::CopyFileW(std::wstring(from.begin(), from.end()).c_str(), file.c_str(), TRUE)) {
            module = ::LoadLibraryExW(file.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
        }
    }
    ~foreign_directory_copy() {
        if (module != nullptr) ::FreeLibrary(module);
        ::DeleteFileW(file.c_str());
        ::RemoveDirectoryW(directory.c_str());
    }
    // Whether the volume gives the copy a short (8.3) name of its own.
    bool has_short_form() const {
        wchar_t short_form[MAX_PATH];
        const DWORD length = ::GetShortPathNameW(file.c_str(), short_form, MAX_PATH);
        return length != 0 && length < MAX_PATH && file != short_form;
    }
};

}  // namespace tvc_test
