#include "tests/bootstrap/attach/attach_child.h"

#include "support/child_process.h"

#include <windows.h>

#include <map>
#include <utility>
#include <vector>
#include <string.h>
#include <wchar.h>

namespace tvc_test {

namespace {

struct case_insensitive_less {
    bool operator()(const std::wstring &a, const std::wstring &b) const {
        return _wcsicmp(a.c_str(), b.c_str()) < 0;
    }
};

std::wstring widened(const std::string &text) {
    std::wstring wide(text.size(), L'\0');
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0],
                                           static_cast<int>(wide.size()));
    wide.resize(static_cast<std::size_t>(length > 0 ? length : 0));
    return wide;
}

// This process's environment with the four variables replaced, as a
// sorted, double-NUL-terminated block of wide characters. The rest (the wine
// prefix among it) is kept so that the child joins the same system.
std::wstring environment_block(const attach_environment &wanted) {
    std::map<std::wstring, std::wstring, case_insensitive_less> variables;
    wchar_t *inherited = GetEnvironmentStringsW();
    for (const wchar_t *entry = inherited; *entry != L'\0'; entry += wcslen(entry) + 1) {
        const std::wstring text(entry);
        const std::size_t equals = text.find(L'=', 1);
        if (equals != std::wstring::npos) variables[text.substr(0, equals)] = text.substr(equals + 1);
    }
    FreeEnvironmentStringsW(inherited);
    const std::pair<const wchar_t *, const std::optional<std::string> *> controlled[] = {
        {L"TVCVRTRT_VERBOSE", &wanted.verbose},
        {L"VRTROOT", &wanted.vrtroot},
        {L"TOOLBOXTOVANDIR", &wanted.toolbox_tovan_dir},
        {L"PATH", &wanted.path},
    };
    for (const auto &[name, value] : controlled) {
        variables.erase(name);
        if (value->has_value()) variables[name] = widened(**value);
    }
    if (wanted.wide_path.has_value()) variables[L"PATH"] = *wanted.wide_path;
    if (wanted.wide_vrtroot.has_value()) variables[L"VRTROOT"] = *wanted.wide_vrtroot;
    std::wstring block;
    for (const auto &[name, value] : variables) block += name + L"=" + value + L'\0';
    return block + L'\0';
}

}  // namespace

std::string run_attach_host(const std::string &dll_path, const attach_environment &environment,
                            const std::string &working_dir, const std::string &utilities) {
    const std::wstring block = environment_block(environment);
    std::vector<std::string> arguments{dll_path};
    if (!utilities.empty()) arguments.push_back(utilities);
    return output_of("attach_host.exe", arguments, block.c_str(), working_dir.c_str());
}

std::string report_value(const std::string &output, const std::string &label) {
    const std::size_t at = output.find(label);
    if (at == std::string::npos || (at != 0 && output[at - 1] != '\n')) return "<no line>";
    const std::size_t value = at + 35;
    return output.substr(value, output.find('\n', value) - value);
}

}  // namespace tvc_test
