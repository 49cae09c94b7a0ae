#include "tools/tvcvrtrt-check/front_library.h"

#include <windows.h>

#include <string>
#include <vector>

#include "common/code_page_text.h"
#include "tools/tvcvrtrt-check/text.h"

namespace tvc_check {

namespace {

std::string file_version(const std::wstring &path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    std::vector<unsigned char> data(size);
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT fixed_size = 0;
    if (size == 0 || !GetFileVersionInfoW(path.c_str(), 0, size, data.data()) ||
        !VerQueryValueW(data.data(), L"\\", reinterpret_cast<void **>(&fixed), &fixed_size) ||
        fixed_size < sizeof *fixed) {
        return {};
    }
    return std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionMS)) +
           "." + std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionLS));
}

}  // namespace

front_library find_front_library() {
    front_library library;
    const std::wstring folder = program_directory();
    const std::wstring path = folder + L"tvcvrtrt7_17.dll";
    // The folder as the library names it: by its short name where the long
    // one does not fit the code page.
    std::string directory;
    if (tvc::narrow_path(folder.c_str(), directory) != ERROR_SUCCESS) directory = narrowed(folder);
    library.path = directory + "tvcvrtrt7_17.dll";
    const DWORD attributes = GetFileAttributesW(path.c_str());
    library.found = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    if (library.found) library.file_version = file_version(path);
    return library;
}

tvc::location_inputs inputs_as_at_attach() { return tvc::location_inputs_of_process(GetModuleHandleW(nullptr)); }

}  // namespace tvc_check
