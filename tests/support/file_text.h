// A file's whole content, for tests that compare what a program wrote.
#pragma once

#include "common/unique_resource.h"
#include "support/scratch_layout.h"

#include <windows.h>

#include <string>

namespace tvc_test {

// Read through the path form that MAX_PATH does not limit, and shared with
// a writer that may still hold the file open; empty when it cannot be opened.
inline std::string file_text(const std::string &path) {
    const tvc::unique_handle file(::CreateFileW(unlimited(path).c_str(), GENERIC_READ,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                OPEN_EXISTING, 0, nullptr));
    std::string text;
    char block[1 << 16];
    DWORD read = 0;
    while (::ReadFile(file.get(), block, sizeof block, &read, nullptr) && read > 0) text.append(block, read);
    return text;
}

}  // namespace tvc_test
