#include "tools/tvcvrtrt-check/runtime_check.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "loading/path_prefix.h"
#include "tvcvrtrt/api_exception.h"
#include "loading/last_error.h"
#include "loading/library_loader.h"
#include "loading/runtime_location.h"
#include "loading/symbol_binder.h"
#include "common/code_page_text.h"
#include "tools/tvcvrtrt-check/bounded_child.h"
#include "tools/tvcvrtrt-check/library_dependencies.h"
#include "tools/tvcvrtrt-check/text.h"

namespace tvc_check {

namespace {

// The loader child's exit statuses; any other is the code of the exception
// that ended it.
constexpr DWORD child_answered = 0;
constexpr DWORD child_refused = 1;
// Loading a library and looking up its symbols takes well under a second.
constexpr DWORD loader_time_limit_ms = 30000;

// ---- the binding tables, as lists of symbol names

struct family_table {
    const char *family;
    const char *file;
    const char *const *symbols;
    std::size_t symbol_count;
};

#define TVC_FAMILY(name, routine, file)
#define TVC_SPECIAL(export_name, result, args)
#define TVC_ENTRY(shape, export_name, symbol, result, args) #symbol,
constexpr const char *array_symbols[] = {
#include "forwarding/array_family.inc"
};
constexpr const char *data_file_symbols[] = {
#include "forwarding/data_file_family.inc"
};
constexpr const char *runtime_symbols[] = {
#include "forwarding/runtime_family.inc"
};
constexpr const char *base_symbols[] = {
#include "forwarding/base_family.inc"
};
#undef TVC_FAMILY
#undef TVC_ENTRY

// In the library's binding order.
#define TVC_FAMILY(name, routine, file) family_table{#name, file, name##_symbols, std::size(name##_symbols)},
#define TVC_ENTRY(shape, export_name, symbol, result, args)
constexpr family_table families[] = {
#include "forwarding/families.inc"
};
#undef TVC_FAMILY
#undef TVC_ENTRY
#undef TVC_SPECIAL

// The system's texts end in a line break; a report line does not.
std::string without_line_break(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

// ---- the library beside this program

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

// ---- location

bool names_directory(const char *value) {
    tvc::runtime_path probe{};
    return tvc::offer_candidate(probe, value);
}

// What a variable naming a directory does: the library takes the directory
// only when it exists.
const char *directory_effect(const char *value, const char *used, const char *unused, const char *unset) {
    return value == nullptr ? unset : names_directory(value) ? used : unused;
}

const char *text_of(const std::optional<std::string> &value) { return value ? value->c_str() : nullptr; }

environment_variable variable(const char *name, const char *value, const char *effect) {
    return {name, value != nullptr, value != nullptr ? value : "", effect};
}

// What the library would read at attach: the tool lies beside
// tvcvrtrt7_17.dll, so its own module stands for the library's.
tvc::location_inputs inputs_as_at_attach() { return tvc::location_inputs_of_process(GetModuleHandleW(nullptr)); }

void locate(runtime_check &check, const tvc::location_inputs &inputs, const tvc::runtime_location &location) {
    const char *trace = std::getenv("TVCVRTRT_TRACE");
    const char *filter = std::getenv("TVCVRTRT_TRACE_FILTER");
    check.environment = {
        variable("VRTROOT", text_of(inputs.vrtroot),
                 directory_effect(text_of(inputs.vrtroot), "used: the runtime root",
                                  "set but not used: not an existing directory; the root is two levels above "
                                  "the library's directory",
                                  "not set: the root is two levels above the library's directory")),
        variable("TOOLBOXTOVANDIR", text_of(inputs.toolbox_tovan_dir),
                 directory_effect(text_of(inputs.toolbox_tovan_dir), "used: the installed toolbox directory",
                                  "set but not used: not an existing directory; the toolbox directory is "
                                  "looked for under the root",
                                  "not set: the toolbox directory is looked for under the root")),
        variable("TVCVRTRT_VERBOSE", inputs.verbose,
                 inputs.verbose != nullptr ? "set: the library prints these paths and every load"
                                           : "not set: the library prints nothing at load"),
        variable("TVCVRTRT_TRACE", trace,
                 trace == nullptr   ? "not set: calls are not traced"
                 : *trace == '\0' ? "set but empty: calls are not traced"
                                   : "set: from initialization on, every forwarded call is appended to this file"),
        variable("TVCVRTRT_TRACE_FILTER", filter,
                 filter == nullptr ? "not set: a trace takes every export"
                                   : "set: a trace takes only the exports these patterns select"),
    };
    if (location.error != nullptr) check.location_error = location.error;
    const tvc::runtime_paths_t &paths = location.paths;
    environment_variable path_variable;
    path_variable.name = "PATH";
    path_variable.set = check.location_error.empty();
    if (path_variable.set) {
        // Decided as the library decides it: PATH in wide characters.
        std::wstring old_path, new_path, directory;
        const bool set = tvc::read_path_variable(old_path);
        tvc::widen(paths.runtime_lib_dir, std::strlen(paths.runtime_lib_dir), directory);
        switch (tvc::prefixed_path(set ? old_path.c_str() : nullptr, directory.c_str(), new_path)) {
        case tvc::path_prefix::put_in_front:
            path_variable.value = std::string(paths.runtime_lib_dir) + (old_path.empty() ? "" : ";");
            path_variable.effect = "the library puts the runtime library directory in front:";
            break;
        case tvc::path_prefix::already_in_front:
            path_variable.value = narrowed(old_path.substr(0, old_path.find(L';')));
            path_variable.effect = "left as it is: the runtime library directory is already in front:";
            break;
        case tvc::path_prefix::does_not_fit:
            path_variable.effect = "left as it is: the runtime library directory does not fit in front of it";
            break;
        case tvc::path_prefix::name_holds_separator:
            path_variable.effect = "left as it is: the runtime library directory's name holds \";\", which PATH "
                                   "cannot hold in one element";
            break;
        }
    } else {
        path_variable.effect = "left as it is: the library does not load";
    }
    check.environment.push_back(path_variable);
    check.paths = {{"module_dir", paths.module_dir},         {"vrt_root", paths.vrt_root},
                   {"runtime_lib_dir", paths.runtime_lib_dir}, {"toolbox_dir", paths.toolbox_dir},
                   {"toolbox_prefix", paths.toolbox_prefix},   {"deploy_toolbox_dir", paths.deploy_toolbox_dir}};
}

// What a user could not tell from the paths alone.
void explain(runtime_check &check, const tvc::runtime_paths_t &paths) {
    if (check.location_error.empty() && paths.toolbox_dir[0] == '\0' && paths.toolbox_prefix[0] != '\0') {
        check.notes.push_back(std::string("toolbox_prefix is ") + paths.toolbox_prefix +
                              " because no toolbox directory was found: the prefix is the toolbox directory's "
                              "parent, and for an empty one that is the root of the working directory's drive. "
                              "Set TOOLBOXTOVANDIR, or install the toolbox in <vrt_root>toolbox\\tovan\\.");
    }
    if (check.location_error.empty() && std::strcmp(paths.runtime_lib_dir, paths.module_dir) == 0) {
        std::string expected = std::string(paths.vrt_root) + "bin\\win64\\";
        if (std::strcmp(expected.c_str(), paths.runtime_lib_dir) != 0) {
            check.notes.push_back("runtime_lib_dir is the library's own directory because " + expected +
                                  " does not exist: the runtime libraries are taken from beside the library. "
                                  "Set VRTROOT to the runtime's root, or install the runtime libraries in "
                                  "<vrt_root>bin\\win64\\.");
        }
    }
    bool lossless = true;
    const std::string directory = narrowed(program_directory(), &lossless);
    if (lossless) return;
    const std::string where = "the folder " + directory + " has a name with characters outside the process code "
                              "page (" + std::to_string(GetACP()) + "), shown as \"?\"; the library reads its own "
                              "path in that code page, ";
    if (!check.location_error.empty()) {
        check.notes.push_back(where + "and the volume gives no short (8.3) name for it, so the library cannot find "
                                      "itself. Move the runtime to a folder whose name has only characters of the "
                                      "code page.");
    } else {
        check.notes.push_back(where + "so it goes by the folder's short (8.3) name, as module_dir shows.");
    }
}

// ---- binding

void check_symbols(HMODULE module, const family_table &table, library_check &library) {
    library.symbol_count = table.symbol_count;
    for (std::size_t index = 0; index < table.symbol_count; ++index) {
        void (*slot)() = nullptr;
        try {
            tvc::bind_symbol(module, slot, table.symbols[index]);
        } catch (const tvc::apiException &failure) {
            library.missing.push_back(
                {table.symbols[index], without_line_break(tvc::last_error_text()), without_line_break(failure.what())});
        }
    }
}

library_check check_library(const family_table &table, const char *runtime_lib_dir) {
    library_check library;
    library.family = table.family;
    library.file = table.file;
    library.path = std::string(runtime_lib_dir) + table.file;
    // The load runs in a child: the system's loader may crash or hang on a
    // damaged library, and so may the library's initializer.
    const child_run run = run_bounded_child(own_command_line(check_library_option, table.file), loader_time_limit_ms);
    if (!run.started) {
        library.load_reason = "could not be loaded: no process to load it in could be started";
    } else if (run.over_memory_limit) {
        library.load_reason = std::string("could not be loaded: loading it went past the memory limit of ") +
                              child_memory_limit_text;
    } else if (run.timed_out) {
        library.load_reason = "could not be loaded: the system's loader did not answer within " +
                              std::to_string(loader_time_limit_ms / 1000) + " s";
    } else if (run.status != child_answered) {
        library.load_reason = "could not be loaded: the system's loader crashed, exception " + status_text(run.status);
    } else if (!read_loader_answer(run.answer, library)) {
        library.load_reason = "could not be loaded: the answer of the process that loaded it is damaged";
    }
    if (library.loaded) library.symbol_count = table.symbol_count;
    if (!library.loaded && file_exists(library.path)) {
        std::string problem;
        std::size_t not_looked_up = 0;
        library.missing_dependencies = missing_dependencies(library.path, problem, not_looked_up);
        std::string list;
        for (const std::string &name : library.missing_dependencies) list += (list.empty() ? "" : ", ") + name;
        if (not_looked_up > 0) {
            list += (list.empty() ? "" : ", ") + std::string("and ") + std::to_string(not_looked_up) +
                    " more imported libraries not looked for (the search stops after " +
                    std::to_string(max_names_looked_up) + " names or " +
                    std::to_string(lookup_time_limit_ms / 1000) + " s)";
        }
        if (!list.empty()) {
            library.cause = std::string(table.file) + " is present, but a library it needs is missing: " + list;
        } else if (!problem.empty()) {
            library.cause = std::string(table.file) + " is present, but " + problem;
        }
    }
    return library;
}

}  // namespace

// "N" with the library's message and the system's text when the library
// does not load; else "S", then "M" with the symbol, the system's text and
// the library's message for each symbol not found.
std::string loader_answer(const library_check &library) {
    if (!library.loaded) return fields_line({"N", library.load_message, library.load_reason});
    std::string answer = fields_line({"S"});
    for (const missing_symbol &symbol : library.missing) {
        answer += fields_line({"M", symbol.symbol, symbol.reason, symbol.message});
    }
    return answer;
}

bool read_loader_answer(const std::string &answer, library_check &library) {
    std::vector<std::vector<std::string>> lines;
    if (!lines_of(answer, lines) || lines.empty()) return false;
    const std::vector<std::string> &first = lines.front();
    if (first[0] == "N" && first.size() == 3 && lines.size() == 1) {
        library.load_message = first[1];
        library.load_reason = first[2];
        return true;
    }
    if (first[0] != "S" || first.size() != 1) return false;
    for (auto line = lines.begin() + 1; line != lines.end(); ++line) {
        if ((*line)[0] != "M" || line->size() != 4) return false;
        library.missing.push_back({(*line)[1], (*line)[2], (*line)[3]});
    }
    library.loaded = true;
    return true;
}

bool runtime_check::everything_binds() const {
    if (!location_error.empty()) return false;
    for (const library_check &library : libraries) {
        if (!library.loaded || !library.missing.empty()) return false;
    }
    return true;
}

runtime_check check_runtime() {
    runtime_check check;
    check.library = find_front_library();
    const tvc::location_inputs inputs = inputs_as_at_attach();
    const tvc::runtime_location location = tvc::find_runtime(inputs);
    locate(check, inputs, location);
    explain(check, location.paths);
    if (!check.location_error.empty()) return check;
    for (const family_table &table : families) {
        check.libraries.push_back(check_library(table, location.paths.runtime_lib_dir));
    }
    return check;
}

int serve_library_check(const char *file) {
    become_bounded_child();
    const family_table *table = nullptr;
    for (const family_table &candidate : families) {
        if (std::strcmp(candidate.file, file) == 0) table = &candidate;
    }
    if (table == nullptr) return child_refused;
    const tvc::runtime_location location = tvc::find_runtime(inputs_as_at_attach());
    if (location.error != nullptr) return child_refused;
    // This process stands in for one that attached the library: the
    // library's loader takes the runtime library directory from its paths.
    tvc::publish_runtime_paths(location.paths);
    library_check library;
    try {
        // The library's own loader: the full path in the runtime library
        // directory, never a bare name.
        library.loaded = true;
        check_symbols(tvc::load_runtime_library(table->file), *table, library);
    } catch (const tvc::apiException &failure) {
        library.loaded = false;
        library.load_message = without_line_break(failure.what());
        library.load_reason = without_line_break(tvc::last_error_text());
    }
    std::fputs(loader_answer(library).c_str(), stdout);
    std::fflush(stdout);
    // What the libraries do when they are unloaded is not part of the check:
    // the command never unloaded them.
    TerminateProcess(GetCurrentProcess(), child_answered);
    return child_answered;
}

// ---- output

void print_text(const runtime_check &check, std::FILE *out) {
    std::fprintf(out, "Library\n  %-20s %s%s\n", "tvcvrtrt7_17.dll", shown(check.library.path).c_str(),
                 check.library.found ? "" : ": not found");
    if (check.library.found) {
        std::fprintf(out, "  %-20s %s\n", "file version",
                     check.library.file_version.empty() ? "none" : check.library.file_version.c_str());
    }
    std::fprintf(out, "Runtime paths\n");
    for (const auto &[name, value] : check.paths) std::fprintf(out, "  %-20s %s\n", name, shown(value).c_str());
    if (!check.location_error.empty()) std::fprintf(out, "  FAILED: %s\n", check.location_error.c_str());
    for (const std::string &note : check.notes) std::fprintf(out, "  note: %s\n", shown(note).c_str());
    std::fprintf(out, "Environment\n");
    for (const environment_variable &variable : check.environment) {
        std::fprintf(out, "  %-21s %s\n", variable.name, variable.effect.c_str());
        if (variable.set) std::fprintf(out, "  %-21s = \"%s\"\n", "", shown(variable.value).c_str());
    }
    std::fprintf(out, "Libraries\n");
    for (const library_check &library : check.libraries) {
        if (!library.loaded) {
            std::fprintf(out, "  %-11s %-10s NOT LOADED: %s\n", library.file, library.family,
                         library.load_reason.c_str());
            if (!library.load_message.empty()) std::fprintf(out, "    %s\n", shown(library.load_message).c_str());
            if (!library.cause.empty()) std::fprintf(out, "    %s\n", shown(library.cause).c_str());
            continue;
        }
        std::fprintf(out, "  %-11s %-10s %zu of %zu symbols found\n", library.file, library.family,
                     library.symbol_count - library.missing.size(), library.symbol_count);
        for (const missing_symbol &symbol : library.missing) {
            std::fprintf(out, "    missing %s: %s\n", symbol.symbol.c_str(), symbol.reason.c_str());
        }
    }
    std::fprintf(out, "%s\n", check.everything_binds() ? "Every library loads and every symbol binds."
                                                       : "The runtime does not bind: see above.");
}

void print_json(const runtime_check &check, json_writer &json) {
    json.key("library");
    json.begin_object();
    json.member("path", check.library.path);
    json.member("found", check.library.found);
    json.key("file_version");
    json.value(check.library.file_version.empty() ? nullptr : check.library.file_version.c_str());
    json.end_object();
    json.key("paths");
    json.begin_object();
    for (const auto &[name, value] : check.paths) json.member(name, value);
    json.end_object();
    json.key("location_error");
    json.value(check.location_error.empty() ? nullptr : check.location_error.c_str());
    json.string_array("notes", check.notes);
    json.object_array("environment", check.environment, [&](const environment_variable &variable) {
        json.member("name", variable.name);
        json.key("value");
        json.value(variable.set ? variable.value.c_str() : nullptr);
        json.member("effect", variable.effect);
    });
    json.object_array("libraries", check.libraries, [&](const library_check &library) {
        json.member("family", library.family);
        json.member("file", library.file);
        json.member("path", library.path);
        json.member("loaded", library.loaded);
        json.key("error");
        json.value(library.loaded                ? nullptr
                   : library.load_message.empty() ? library.load_reason.c_str()
                                                  : library.load_message.c_str());
        json.key("cause");
        json.value(library.cause.empty() ? nullptr : library.cause.c_str());
        json.string_array("missing_dependencies", library.missing_dependencies);
        json.member("symbols", library.symbol_count);
        json.object_array("missing", library.missing, [&](const missing_symbol &symbol) {
            json.member("symbol", symbol.symbol);
            json.member("reason", symbol.reason);
            json.member("message", symbol.message);
        });
    });
    json.member("binds", check.everything_binds());
}

}  // namespace tvc_check
