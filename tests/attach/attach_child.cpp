#include "attach/attach_child.h"

#include "support/child_process.h"

#include <windows.h>

#include <map>
#include <utility>
#include <vector>
#include <string.h>

namespace tvc_test {

namespace {

struct case_insensitive_less {
    bool operator()(const std::string &a, const std::string &b) const {
        return _stricmp(a.c_str(), b.c_str()) < 0;
    }
};

// This process's environment with the four variables replaced, as a
// sorted, double-NUL-terminated block. The rest (the wine prefix among it)
// is kept so that the child joins the same system.
std::string environment_block(const attach_environment &wanted) {
    std::map<std::string, std::string, case_insensitive_less> variables;
    char *inherited = GetEnvironmentStringsA();
    for (const char *entry = inherited; *entry != '\0'; entry += strlen(entry) + 1) {
        const std::string text(entry);
        const std::size_t equals = text.find('=', 1);
        if (equals != std::string::npos) variables[text.substr(0, equals)] = text.substr(equals + 1);
    }
    FreeEnvironmentStringsA(inherited);
    const std::pair<const char *, const std::optional<std::string> *> controlled[] = {
        {"TVCVRTRT_VERBOSE", &wanted.verbose},
        {"VRTROOT", &wanted.vrtroot},
        {"TOOLBOXTOVANDIR", &wanted.toolbox_tovan_dir},
        {"PATH", &wanted.path},
    };
    for (const auto &[name, value] : controlled) {
        variables.erase(name);
        if (value->has_value()) variables[name] = **value;
    }
    std::string block;
    for (const auto &[name, value] : variables) block += name + "=" + value + '\0';
    return block + '\0';
}

}  // namespace

std::string run_attach_host(const std::string &dll_path, const attach_environment &environment,
                            const std::string &working_dir, const std::string &utilities) {
    const std::string block = environment_block(environment);
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
