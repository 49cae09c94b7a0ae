#include "bootstrap/runtime_path_report.h"

#include "bootstrap/runtime_paths.h"

#include <cstdio>

namespace tvc {

namespace {

// Index of the conversion in a report line: where its value starts.
constexpr std::size_t value_column(const char *format) {
    std::size_t i = 0;
    while (format[i] != '%') ++i;
    return i;
}

constexpr const char module_line[] = "Module path:                       %s\n";
constexpr const char root_line[] = "VRTROOT path:                      %s\n";
constexpr const char lib_line[] = "Runtime lib path:                  %s\n";
constexpr const char toolbox_line[] = "Installed toolbox path:            %s\n";
constexpr const char prefix_line[] = "Toolbox prefix:                    %s\n";
constexpr const char deploy_line[] = "Installed deployment toolbox path: %s\n";

// Callers parse the report by column: every label fills exactly 35 characters.
static_assert(value_column(module_line) == 35 && value_column(root_line) == 35 &&
              value_column(lib_line) == 35 && value_column(toolbox_line) == 35 &&
              value_column(prefix_line) == 35 && value_column(deploy_line) == 35,
              "report labels are 35 characters wide");

}  // namespace

void print_runtime_paths() {
    std::printf(module_line, runtime_paths.module_dir);
    std::printf(root_line, runtime_paths.vrt_root);
    std::printf(lib_line, runtime_paths.runtime_lib_dir);
    std::printf(toolbox_line, runtime_paths.toolbox_dir);
    std::printf(prefix_line, runtime_paths.toolbox_prefix);
    std::printf(deploy_line, runtime_paths.deploy_toolbox_dir);
}

}  // namespace tvc
