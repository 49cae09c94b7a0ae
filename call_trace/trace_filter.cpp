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

// The exports that reach another export's slot: a program calls these, and
// a filter that names them selects the slot behind them.
struct export_alias {
    const char *slot_export;
    const char *export_name;
};
constexpr export_alias aliases[] = {
    {"tvcFevalInternal_proxy", "tvcFeval_proxy"},
    {"tvcKfnVFevalInternal_proxy", "tvcKfnVFeval_proxy"},
    {"tvcKfnVFevalInternal_proxy", "tvcKfnFeval_proxy"},
    {"kaVErrMsgIdAndTxt_proxy", "kaErrMsgTxt_proxy"},
};

// Every name the library exports.
constexpr const char *export_names[] = {
#define TVC_FAMILY(name, routine, file)
#define TVC_ENTRY(shape, export_name, symbol, result, args) TVC_EXPORT_NAME_##shape(export_name)
#define TVC_EXPORT_NAME_locked(export_name) #export_name,
#define TVC_EXPORT_NAME_guarded TVC_EXPORT_NAME_locked
#define TVC_EXPORT_NAME_guarded_true TVC_EXPORT_NAME_locked
#define TVC_EXPORT_NAME_direct TVC_EXPORT_NAME_locked
#define TVC_EXPORT_NAME_tested(export_name)
#define TVC_SPECIAL(export_name, result, args) #export_name,
#include "forwarding/families.inc"
#undef TVC_FAMILY
#undef TVC_ENTRY
#undef TVC_SPECIAL
};

bool matches_slot(const name_pattern &pattern, const char *slot_export) {
    if (matches(pattern.text.c_str(), slot_export)) return true;
    for (const export_alias &alias : aliases) {
        if (same_text(alias.slot_export, slot_export) && matches(pattern.text.c_str(), alias.export_name)) return true;
    }
    return false;
}

}  // namespace

bool is_traced(const char *export_name) {
    bool taken = true;
    for (const name_pattern &pattern : trace_filter) {
        if (!pattern.excludes) taken = false;
    }
    for (const name_pattern &pattern : trace_filter) {
        if (matches_slot(pattern, export_name)) {
            if (pattern.excludes) return false;
            taken = true;
        }
    }
    return taken;
}

void report_patterns_without_exports() {
    for (const name_pattern &pattern : trace_filter) {
        bool matched = false;
        for (const char *name : export_names) matched = matched || matches(pattern.text.c_str(), name);
        if (matched) continue;
        std::printf("No export matches \"%s%s\" in TVCVRTRT_TRACE_FILTER; the rest of the filter applies\n",
                    pattern.excludes ? "!" : "", pattern.text.c_str());
        std::fflush(stdout);
    }
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
