#include "tools/tvcvrtrt-check/runtime_report.h"

#include <string>

#include "tools/tvcvrtrt-check/text.h"

namespace tvc_check {

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
        std::fprintf(out, "  %-21s %s\n", variable.name.c_str(), variable.effect.c_str());
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
