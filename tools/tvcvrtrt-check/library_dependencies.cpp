#include "tools/tvcvrtrt-check/library_dependencies.h"

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>

#include "common/unique_resource.h"
#include "tools/tvcvrtrt-check/text.h"

namespace tvc_check {

namespace {

// Limits far above any real library, so that a damaged file costs little.
constexpr std::uint32_t max_header_offset = 1u << 20;
constexpr unsigned max_sections = 96;
constexpr unsigned max_imported_libraries = 4096;
constexpr std::size_t max_name_length = 255;
constexpr int max_dependency_depth = 8;


class file_reader {
public:
    explicit file_reader(const std::string &path) {
        const HANDLE file = CreateFileW(file_system_path(path).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return;
        file_.reset(file);
        LARGE_INTEGER size{};
        if (GetFileSizeEx(file, &size)) size_ = static_cast<std::uint64_t>(size.QuadPart);
    }

    bool opened() const { return static_cast<bool>(file_); }
    std::uint64_t size() const { return size_; }

    // Exactly size bytes at offset, or false.
    bool read(std::uint64_t offset, void *buffer, std::size_t size) const {
        if (offset > size_ || size > size_ - offset) return false;
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD done = 0;
        return ReadFile(file_.get(), buffer, static_cast<DWORD>(size), &done, &at) && done == size;
    }

    template <typename Record> bool read(std::uint64_t offset, Record &record) const {
        return read(offset, &record, sizeof record);
    }

private:
    tvc::unique_handle file_;
    std::uint64_t size_ = 0;
};

struct sections {
    std::vector<IMAGE_SECTION_HEADER> headers;

    // The file offset of a relative virtual address, or false when no
    // section holds it in its raw data.
    bool file_offset(std::uint32_t rva, std::uint64_t &offset) const {
        for (const IMAGE_SECTION_HEADER &section : headers) {
            const std::uint32_t start = section.VirtualAddress;
            const std::uint32_t raw_size = section.SizeOfRawData;
            if (rva >= start && rva - start < raw_size) {
                offset = static_cast<std::uint64_t>(section.PointerToRawData) + (rva - start);
                return true;
            }
        }
        return false;
    }
};

bool read_name(const file_reader &file, std::uint64_t offset, std::string &name) {
    char buffer[max_name_length + 1] = {};
    if (offset >= file.size()) return false;
    const std::size_t available =
        static_cast<std::size_t>(std::min<std::uint64_t>(sizeof buffer, file.size() - offset));
    if (!file.read(offset, buffer, available)) return false;
    const std::size_t length = strnlen(buffer, available);
    if (length == 0 || length == available) return false;  // empty, or no end within the limit
    name.assign(buffer, length);
    // A library's file name, not a path: anything else is a damaged table.
    for (const char character : name) {
        if (character < 0x20 || character > 0x7E || std::strchr("\\/:*?\"<>|", character) != nullptr) return false;
    }
    return true;
}

bool is_api_set(const std::string &name) {
    return _strnicmp(name.c_str(), "api-ms-", 7) == 0 || _strnicmp(name.c_str(), "ext-ms-", 7) == 0;
}

std::string directory_of(const std::string &path) {
    const std::size_t last = path.find_last_of("\\/");
    return last == std::string::npos ? std::string() : path.substr(0, last + 1);
}

std::string with_backslash(std::string directory) {
    if (!directory.empty() && directory.back() != '\\' && directory.back() != '/') directory += '\\';
    return directory;
}

}  // namespace

std::string find_library(const std::string &name, const std::string &directory) {
    std::vector<std::string> places{directory};
    wchar_t buffer[MAX_PATH];
    if (const UINT length = GetSystemDirectoryW(buffer, MAX_PATH); length > 0 && length < MAX_PATH) {
        places.push_back(narrowed(buffer));
    }
    if (const UINT length = GetWindowsDirectoryW(buffer, MAX_PATH); length > 0 && length < MAX_PATH) {
        places.push_back(narrowed(buffer));
    }
    places.push_back(".");
    if (const char *path = std::getenv("PATH")) {
        const std::string entries = path;
        for (std::size_t start = 0; start <= entries.size();) {
            const std::size_t end = std::min(entries.find(';', start), entries.size());
            if (end > start) places.push_back(entries.substr(start, end - start));
            start = end + 1;
        }
    }
    for (const std::string &place : places) {
        const std::string candidate = with_backslash(place) + name;
        if (file_exists(candidate)) return candidate;
    }
    return {};
}

namespace {

struct lookup_budget {
    int names_left = max_names_looked_up;
    ULONGLONG deadline = GetTickCount64() + lookup_time_limit_ms;
    std::size_t left_out = 0;
    bool spent() const { return names_left <= 0 || GetTickCount64() > deadline; }
};

void collect_missing(const std::string &path, const std::string &who, int depth, std::set<std::string> &seen,
                     std::vector<std::string> &missing, std::string &problem, lookup_budget &budget) {
    const import_table table = read_import_table(path);
    if (!table.problem.empty()) {
        // The problem is told of the library checked; one of a library it
        // needs names that library, or the checked one would be blamed.
        if (problem.empty()) {
            problem = depth == 0 ? table.problem
                                 : "a library it needs cannot be used: " + who + " (" + table.problem + ")";
        }
        return;
    }
    const std::string directory = directory_of(path);
    for (const std::string &name : table.libraries) {
        std::string key = name;
        CharLowerBuffA(&key[0], static_cast<DWORD>(key.size()));
        if (is_api_set(name) || !seen.insert(key).second) continue;
        // Already in the process: the loader takes that one.
        if (GetModuleHandleW(widened(name).c_str()) != nullptr) continue;
        if (budget.spent()) {
            ++budget.left_out;
            continue;
        }
        --budget.names_left;
        const std::string found = find_library(name, directory);
        const std::string needed = depth == 0 ? name : name + " (needed by " + path.substr(directory.size()) + ")";
        if (found.empty()) {
            missing.push_back(needed);
        } else if (depth < max_dependency_depth && tvc::same_name_ignoring_case(directory_of(found), directory)) {
            // A library of the same directory is the runtime's own, and its
            // own needs count too; the system's libraries are not followed.
            collect_missing(found, needed, depth + 1, seen, missing, problem, budget);
        }
    }
}

}  // namespace

import_table read_import_table(const std::string &path) {
    import_table table;
    const file_reader file(path);
    if (!file.opened()) {
        table.problem = "it cannot be opened";
        return table;
    }
    IMAGE_DOS_HEADER dos{};
    std::uint32_t signature = 0;
    IMAGE_FILE_HEADER header{};
    std::uint16_t magic = 0;
    if (!file.read(0, dos) || dos.e_magic != IMAGE_DOS_SIGNATURE ||
        static_cast<std::uint32_t>(dos.e_lfanew) > max_header_offset ||
        !file.read(dos.e_lfanew, signature) || signature != IMAGE_NT_SIGNATURE ||
        !file.read(dos.e_lfanew + 4, header) || !file.read(dos.e_lfanew + 4 + sizeof header, magic)) {
        table.problem = "it is not a library (no executable file header)";
        return table;
    }
    if (header.Machine != IMAGE_FILE_MACHINE_AMD64 || magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
        table.problem = "it is not a 64-bit x64 library";
        return table;
    }
    IMAGE_OPTIONAL_HEADER64 optional{};
    const std::uint64_t optional_offset = dos.e_lfanew + 4 + sizeof header;
    const std::size_t optional_size = std::min<std::size_t>(header.SizeOfOptionalHeader, sizeof optional);
    constexpr std::size_t directories_at = offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory);
    // A header cut short of the directories it counts is damaged; taken as
    // a library without imports, it would hide the very fault looked for.
    if (header.NumberOfSections > max_sections || optional_size < directories_at ||
        !file.read(optional_offset, &optional, optional_size) ||
        optional_size < directories_at + std::min<std::size_t>(optional.NumberOfRvaAndSizes,
                                                               IMAGE_NUMBEROF_DIRECTORY_ENTRIES) *
                                             sizeof(IMAGE_DATA_DIRECTORY)) {
        table.problem = "its header is damaged";
        return table;
    }
    if (optional.NumberOfRvaAndSizes <= IMAGE_DIRECTORY_ENTRY_IMPORT) return table;
    const IMAGE_DATA_DIRECTORY imports = optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) return table;

    sections layout;
    layout.headers.resize(header.NumberOfSections);
    std::uint64_t descriptor_offset = 0;
    if (!file.read(optional_offset + header.SizeOfOptionalHeader, layout.headers.data(),
                   layout.headers.size() * sizeof(IMAGE_SECTION_HEADER)) ||
        !layout.file_offset(imports.VirtualAddress, descriptor_offset)) {
        table.problem = "its import table is damaged";
        return table;
    }
    for (unsigned index = 0; index < max_imported_libraries; ++index) {
        IMAGE_IMPORT_DESCRIPTOR descriptor{};
        if (!file.read(descriptor_offset + index * sizeof descriptor, descriptor)) {
            table.problem = "its import table is damaged";
            return table;
        }
        if (descriptor.Name == 0) return table;  // the table's closing entry
        std::uint64_t name_offset = 0;
        std::string name;
        if (!layout.file_offset(descriptor.Name, name_offset) || !read_name(file, name_offset, name)) {
            table.problem = "its import table is damaged";
            return table;
        }
        table.libraries.push_back(name);
    }
    table.problem = "its import table is damaged";
    return table;
}

std::vector<std::string> missing_dependencies(const std::string &path, std::string &problem,
                                              std::size_t &not_looked_up) {
    std::vector<std::string> missing;
    std::set<std::string> seen;
    lookup_budget budget;
    collect_missing(path, {}, 0, seen, missing, problem, budget);
    not_looked_up = budget.left_out;
    return missing;
}

}  // namespace tvc_check
