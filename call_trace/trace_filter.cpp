// TVCVRTRT_TRACE_FILTER: a comma-separated list of export-name patterns with
// * (any run of characters) and ? (any one character); a leading ! excludes.
// Traced are the exports that some pattern without ! takes (every export
// when there is none) and no pattern with ! takes.
#include "call_trace/trace_filter.h"

#include "common/code_page_text.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace tvc::trace {

namespace {

struct name_pattern {
    std::string text;
    bool excludes;
};
std::vector<name_pattern> trace_filter;

bool matches(const char *pattern, const char *name) {
    // The last *, to come back to with one more character taken by it.
    const char *star = nullptr;
    const char *star_name = nullptr;
    while (*name != '\0') {
        if (*pattern == '*') {
            star = pattern++;
            star_name = name;
        } else if (*pattern == '?' || *pattern == *name) {
            ++pattern, ++name;
        } else if (star != nullptr) {
            pattern = star + 1;
            name = ++star_name;
        } else {
            return false;
        }
    }
    while (*pattern == '*') ++pattern;
    return *pattern == '\0';
}

}  // namespace

bool is_traced(const char *export_name) {
    bool taken = true;
    for (const name_pattern &pattern : trace_filter) {
        if (!pattern.excludes) taken = false;
    }
    for (const name_pattern &pattern : trace_filter) {
        if (matches(pattern.text.c_str(), export_name)) {
            if (pattern.excludes) return false;
            taken = true;
        }
    }
    return taken;
}

// False, after one line on standard output, for an item that is empty or
// holds anything but name characters, * and ? after its optional !. Checked
// before narrowing: a character the code page cannot hold would narrow to
// "?", a wildcard.
bool read_trace_filter(const std::wstring &list) {
    std::size_t begin = 0;
    while (!list.empty() && begin <= list.size()) {
        const std::size_t end = std::min(list.find(L',', begin), list.size());
        const std::wstring item = list.substr(begin, end - begin);
        const bool excludes = !item.empty() && item[0] == L'!';
        const std::wstring text = item.substr(excludes ? 1 : 0);
        if (text.empty() || text.find_first_not_of(L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_*?") !=
                                std::wstring::npos) {
            std::printf("Calls are not traced: bad pattern \"%s\" in TVCVRTRT_TRACE_FILTER (export names with * and ?, "
                        "separated by commas, each may start with !)\n",
                        tvc::narrowed(item).c_str());
            std::fflush(stdout);
            return false;
        }
        trace_filter.push_back({std::string(text.begin(), text.end()), excludes});
        begin = end + 1;
    }
    return true;
}

}  // namespace tvc::trace
