#include "support/foreign_directory_copy.h"

#include "support/child_process.h"

namespace tvc_test {

namespace {

std::wstring widened(const std::string &ascii) { return std::wstring(ascii.begin(), ascii.end()); }

}  // namespace

foreign_directory_copy::foreign_directory_copy(const std::string &source,
                                               const std::string &copy_name) {
    wchar_t temp[MAX_PATH];
    if (::GetTempPathW(MAX_PATH, temp) == 0) return;
    directory_ = std::wstring(temp) + L"tvc-\uAC00-" + std::to_wstring(::GetCurrentProcessId()) +
                 L"-" + std::to_wstring(::GetTickCount64());
    file_ = directory_ + L"\\" + widened(copy_name);
    if (::CreateDirectoryW(directory_.c_str(), nullptr) &&
        ::CopyFileW(widened(executable_directory() + source).c_str(), file_.c_str(), TRUE)) {
        module_ = ::LoadLibraryExW(file_.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    }
}

foreign_directory_copy::~foreign_directory_copy() {
    if (module_ != nullptr) ::FreeLibrary(module_);
    ::DeleteFileW(file_.c_str());
    ::RemoveDirectoryW(directory_.c_str());
}

bool foreign_directory_copy::has_short_form() const {
    wchar_t short_path[MAX_PATH];
    const DWORD length = ::GetShortPathNameW(file_.c_str(), short_path, MAX_PATH);
    return length != 0 && length < MAX_PATH && file_ != short_path;
}

}  // namespace tvc_test
