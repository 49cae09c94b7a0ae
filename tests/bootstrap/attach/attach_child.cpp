#include "tests/bootstrap/attach/attach_child.h"

#include "common/code_page_text.h"
#include "support/child_process.h"

#include <windows.h>

#include <utility>
#include <vector>

namespace tvc_test {

namespace {

// This process's environment with the four variables replaced.
std::wstring environment_block(const attach_environment &wanted) {
    environment_changes changes;
    const std::pair<const wchar_t *, const std::optional<std::string> *> controlled[] = {
        {L"TVCVRTRT_VERBOSE", &wanted.verbose},
        {L"VRTROOT", &wanted.vrtroot},
        {L"TOOLBOXTOVANDIR", &wanted.toolbox_tovan_dir},
        {L"PATH", &wanted.path},
    };
    for (const auto &[name, value] : controlled) {
        changes.emplace_back(name, value->has_value() ? std::optional<std::wstring>(tvc::widened(**value)) : std::nullopt);
    }
    if (wanted.wide_path.has_value()) changes.emplace_back(L"PATH", wanted.wide_path);
    if (wanted.wide_vrtroot.has_value()) changes.emplace_back(L"VRTROOT", wanted.wide_vrtroot);
    return environment_with(changes);
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
