// The PATH rule of process attach (path_prefix.h).
#include "loading/path_prefix.h"

#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "loading/runtime_paths.h"
#include "common/code_page_text.h"
#include "common/unlimited_path.h"

namespace tvc {

namespace {

// An environment variable's value holds at most 32,767 characters with its
// terminator.
constexpr std::size_t environment_value_capacity = 32767;

// The full path of name, in its long form where the directory exists, with
// no trailing separator; empty when the system cannot resolve it.
std::wstring comparable_directory(const std::wstring &name) {
    if (name.empty()) return {};
    std::wstring full = full_path(name);
    if (full.empty()) return {};
    // Only a name with "~" can be a short (8.3) form, and only a short path is
    // asked for its long form: Wine's GetLongPathNameW builds its answer in a
    // fixed buffer, and a first element of 32,000 characters ended the
    // process. A longer path is compared as given.
    const bool may_be_short = full.find(L'~') != std::wstring::npos && full.size() < MAX_PATH;
    std::wstring long_form(MAX_PATH, L'\0');
    while (may_be_short) {
        const DWORD length =
            ::GetLongPathNameW(full.c_str(), &long_form[0], static_cast<DWORD>(long_form.size()));
        if (length == 0) break;  // missing: the full path is all there is
        if (length < long_form.size()) {
            long_form.resize(length);
            full = long_form;
            break;
        }
        long_form.resize(length);
    }
    while (!full.empty() && (full.back() == L'\\' || full.back() == L'/')) full.pop_back();
    return full;
}

}  // namespace

namespace {

// A drive's path ("C:\\..."), a share's ("\\\\server\\...") or the long-path
// form of either: a name that means the same directory wherever the
// process works. ".", "bin" or "C:bin" name another one after a change of
// directory.
bool is_absolute(const std::wstring &name) {
    const auto separator = [](wchar_t c) { return c == L'\\' || c == L'/'; };
    if (name.size() >= 3 && name[1] == L':' && separator(name[2])) return true;
    return name.size() >= 2 && separator(name[0]) && separator(name[1]);
}

}  // namespace

bool same_directory(const std::wstring &a, const std::wstring &b) {
    const std::wstring full_a = comparable_directory(a), full_b = comparable_directory(b);
    return !full_a.empty() && same_name_ignoring_case(full_a, full_b);
}

path_prefix prefixed_path(const wchar_t *old_path, const wchar_t *dir, std::wstring &new_path) {
    if (old_path == nullptr) old_path = L"";
    const std::wstring directory(dir);
    // PATH has no quoting the loader honours: such a name would be two
    // elements, neither of them the directory.
    if (directory.find(L';') != std::wstring::npos) return path_prefix::name_holds_separator;
    const std::wstring old_value(old_path);
    const std::wstring first = old_value.substr(0, old_value.find(L';'));
    if (is_absolute(first) && same_directory(ordinary_path(first), directory)) return path_prefix::already_in_front;
    const std::size_t length = directory.size() + (old_value.empty() ? 0 : 1 + old_value.size());
    if (length + 1 > environment_value_capacity) return path_prefix::does_not_fit;
    new_path = directory;
    // No empty element: one would stand for the current directory.
    if (!old_value.empty()) new_path += L';' + old_value;
    return path_prefix::put_in_front;
}

bool read_path_variable(std::wstring &path) {
    path.assign(256, L'\0');
    for (;;) {
        ::SetLastError(ERROR_SUCCESS);
        const DWORD length = ::GetEnvironmentVariableW(L"PATH", &path[0], static_cast<DWORD>(path.size()));
        if (length == 0) {
            path.clear();
            return ::GetLastError() != ERROR_ENVVAR_NOT_FOUND;
        }
        if (length < path.size()) {
            path.resize(length);
            return true;
        }
        path.resize(length);  // the size asked for, with the terminator
    }
}

void prefix_path_with_runtime_lib_dir() {
    std::wstring old_path, new_path, directory;
    const bool set = read_path_variable(old_path);
    if (!widen(runtime_paths.runtime_lib_dir, std::strlen(runtime_paths.runtime_lib_dir), directory)) return;
    switch (prefixed_path(set ? old_path.c_str() : nullptr, directory.c_str(), new_path)) {
    case path_prefix::already_in_front:
        return;
    case path_prefix::does_not_fit:
        if (verbose) {
            std::printf("PATH left as it was: the runtime library directory does not fit in front of it\n");
            std::fflush(stdout);
        }
        return;
    case path_prefix::name_holds_separator:
        if (verbose) {
            std::printf("PATH left as it was: the runtime library directory's name holds \";\", which PATH "
                        "cannot hold in one element\n");
            std::fflush(stdout);
        }
        return;
    case path_prefix::put_in_front:
        // The C runtime's copy and the process environment, both in wide
        // characters: the C runtime's narrow copy would lose what the code
        // page cannot hold, and processes started later inherit the other.
        _wputenv_s(L"PATH", new_path.c_str());
        ::SetEnvironmentVariableW(L"PATH", new_path.c_str());
        return;
    }
}

}  // namespace tvc
