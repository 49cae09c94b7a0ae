// Writes what the binding tables determine outside the C++ build: one public
// header per family (include/tvcvrtrt/<family>_family.h) and the forwarder
// section of the export list (tvcvrtrt7_17.def).
//   interface_generator check <source dir>   fails when a file is stale
//   interface_generator write <source dir>   rewrites the stale files
// The build runs "check" as a test and "write" as the target "regenerate".
#include "forwarding/family_sizes.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

struct entry {
    const char *shape;
    const char *export_name;
    const char *result;
    const char *arguments;  // "(p, i, ...)"
};

struct family {
    const char *name;
    const char *bind_routine;
    const char *library_file;
    std::vector<entry> entries;
};

std::vector<family> read_tables() {
    std::vector<family> families;
#define TVC_FAMILY(name, routine, file) families.push_back({#name, #routine, file, {}});
#define TVC_ENTRY(shape, export_name, symbol, result, args) \
    families.back().entries.push_back({#shape, #export_name, #result, #args});
#define TVC_SPECIAL(export_name, result, args) \
    families.back().entries.push_back({"special", #export_name, #result, #args});
#include "forwarding/families.inc"
#undef TVC_FAMILY
#undef TVC_ENTRY
#undef TVC_SPECIAL
    return families;
}

bool is_exported(const entry &e) { return std::strcmp(e.shape, "tested") != 0; }

std::string c_type(const std::string &code, bool is_result) {
    static const struct { const char *code, *argument, *result; } types[] = {
        {"p", "const void *", "void *"},   {"s", "const char *", nullptr},  {"z", "size_t", "size_t"},       {"i", "int32_t", "int32_t"},
        {"h", "uint16_t", nullptr},  {"c", "uint8_t", "bool"},        {"d", "double", "double"},
        {"f", "float", "float"},     {"v", "va_list", nullptr},       {"...", "...", nullptr},
        {"none", nullptr, "void"},   {"r16", nullptr, "tvcOutputHandler"},
    };
    for (const auto &type : types) {
        const char *spelled = is_result ? type.result : type.argument;
        if (code == type.code && spelled) return spelled;
    }
    throw std::runtime_error("unknown signature letter '" + code + "'");
}

// Parameter names for the public headers, so that an editor's hints say what
// each argument is. The tables carry types alone; a name is given here only
// where the export's name, or what the runtime's documented functions take,
// says what the parameter is, and the other parameters stay unnamed. The
// first rule whose export and letters match applies; "" leaves a parameter
// unnamed, and "$1" is the export's first group with its first letter small
// (kaSetPr: pr).
struct naming_rule {
    const char *export_pattern;
    const char *codes_pattern;  // over the letters as the table writes them: "p, s, i"
    std::vector<const char *> names;
};

const naming_rule naming_rules[] = {
    {"tvcFeval(Internal)?_proxy", "p, s, i, p, i, p", {"instance", "name", "nlhs", "plhs", "nrhs", "prhs"}},
    {"tvcKfnV?Feval(Internal)?_proxy", "p, s, .*", {"instance", "name", "", "", "", "arguments"}},
    {"kaVErrMsgIdAndTxt_proxy", "s, s, v", {"identifier", "format", "arguments"}},
    {"kaErrMsgTxt_proxy", "s.*", {"format"}},
    {"tvcSetLastErrIdAndMsg_proxy", "s, s", {"identifier", "message"}},
    {"vltOpen_proxy", "s, s", {"file_name", "mode"}},
    {"tvcAddCanonicalPathMacro_proxy", "s, s", {"name", "value"}},
    {"kaMalloc_proxy", "z", {"size"}},
    {"kaCalloc_proxy", "z, z", {"count", "size"}},
    {"kaFree_proxy", "p", {"memory"}},
    {"kaRealloc_proxy", "p, z", {"memory", "size"}},
    {"kaCreate\\w*Scalar_proxy", "[dc]", {"value"}},
    {"kaCreate\\w*Matrix(_700|_730)?_proxy", "[iz], [iz].*", {"rows", "columns"}},
    {"kaSet(\\w+?)(_700|_730)?_proxy", "p, \\w+", {"array", "$1"}},
    {"ka(Get|Is|Set|Destroy|Duplicate|Calc)\\w*_proxy", "p.*", {"array"}},
    {"tvcIs(Finite|Inf|NaN)_proxy", "d", {"value"}},
};

std::vector<std::string> parameter_names(const std::string &export_name, const std::string &codes) {
    for (const naming_rule &rule : naming_rules) {
        std::smatch found;
        if (!std::regex_match(export_name, found, std::regex(rule.export_pattern)) ||
            !std::regex_match(codes, std::regex(rule.codes_pattern))) {
            continue;
        }
        std::vector<std::string> names;
        for (const char *name : rule.names) {
            std::string given = name;
            if (given == "$1") {
                given = found[1].str();
                given[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(given[0])));
            }
            // A name that two parameters share, or that C cannot take, would
            // break every client's build; the generator stops first.
            if (!given.empty() && (!std::regex_match(given, std::regex("[a-z][A-Za-z0-9_]*")) ||
                                   std::find(names.begin(), names.end(), given) != names.end())) {
                throw std::runtime_error("the parameter name \"" + given + "\" does not fit " + export_name);
            }
            names.push_back(given);
        }
        return names;
    }
    return {};
}

std::string prototype(const entry &e) {
    std::string arguments(e.arguments);
    arguments = arguments.substr(1, arguments.size() - 2);
    const std::vector<std::string> names = parameter_names(e.export_name, arguments);
    std::string parameters;
    std::istringstream codes(arguments);
    std::size_t index = 0;
    for (std::string code; std::getline(codes, code, ','); ++index) {
        code.erase(0, code.find_first_not_of(' '));
        std::string parameter = c_type(code, false);
        if (index < names.size() && !names[index].empty() && code != "...") {
            parameter += (parameter.back() == '*' ? "" : " ") + names[index];
        }
        parameters += (parameters.empty() ? "" : ", ") + parameter;
    }
    const std::string result = c_type(e.result, true);
    return result + (result.back() == '*' ? "" : " ") + e.export_name + "(" +
           (parameters.empty() ? "void" : parameters) + ");";
}

std::string upper(std::string text) {
    for (char &ch : text) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return text;
}

// The GNU name of "void name()" at global scope.
std::string gnu_name(const std::string &name) { return "_Z" + std::to_string(name.size()) + name + "v"; }

std::string family_header(const family &f) {
    const std::string guard = "TVCVRTRT_" + upper(f.name) + "_FAMILY_H";
    std::string text = "/* Forwarders to " + std::string(f.library_file) + ".\n   Generated from forwarding/" +
                       f.name + "_family.inc by interface_generator: edit the table, then\n"
                       "   build the target \"regenerate\". */\n#ifndef " + guard + "\n#define " + guard +
                       "\n\n#include \"tvcvrtrt/forwarding_types.h\"\n\n#ifdef __cplusplus\n"
                       "/* Loads " + f.library_file + " and binds every slot of the family; "
                       "throws tvc::apiException. */\nvoid " + f.bind_routine + "();\n#endif\n\n"
                       "TVCVRTRT_BEGIN_C\n\n";
    for (const entry &e : f.entries) {
        if (is_exported(e)) text += prototype(e) + "\n";
    }
    return text + "\nTVCVRTRT_END_C\n\n#endif\n";
}

const char def_begin[] = "    ; forwarders: generated from forwarding/*_family.inc, do not edit\n";
const char def_end[] = "    ; end of the generated forwarders\n";

std::string def_section(const std::vector<family> &families) {
    std::string text = def_begin;
    for (const family &f : families) {
        const std::string gnu = gnu_name(f.bind_routine);
        text += "    ; " + std::string(f.library_file) + "\n    ?" + f.bind_routine + "@@YAXXZ=" + gnu +
                "\n    " + gnu + "\n";
        for (const entry &e : f.entries) {
            if (is_exported(e)) text += "    " + std::string(e.export_name) + "\n";
        }
    }
    return text + def_end;
}

std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The export list with its generated section replaced; the hand-written
// rest stays as it is.
std::string def_file(const std::string &current, const std::vector<family> &families) {
    const std::size_t begin = current.find(def_begin);
    const std::size_t end = current.find(def_end);
    if (begin == std::string::npos || end == std::string::npos || end < begin) {
        throw std::runtime_error("tvcvrtrt7_17.def lacks the markers of the generated section");
    }
    return current.substr(0, begin) + def_section(families) +
           current.substr(end + std::strlen(def_end));
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 3 || (std::strcmp(argv[1], "check") != 0 && std::strcmp(argv[1], "write") != 0)) {
        std::fprintf(stderr, "usage: interface_generator check|write <source dir>\n");
        return 2;
    }
    const bool write = std::strcmp(argv[1], "write") == 0;
    const std::string source_dir = std::string(argv[2]) + "/";
    try {
        const std::vector<family> families = read_tables();
        std::size_t exports = 0;
        for (const family &f : families) {
            for (const entry &e : f.entries) exports += is_exported(e);
        }
        // What this program reads as exported is what the library compiles as exported.
        if (exports != tvc::exported_forwarders) {
            throw std::runtime_error("the tables give " + std::to_string(exports) + " exports, the library " +
                                     std::to_string(tvc::exported_forwarders));
        }
        std::vector<std::pair<std::string, std::string>> outputs;
        for (const family &f : families) {
            outputs.emplace_back("include/tvcvrtrt/" + std::string(f.name) + "_family.h", family_header(f));
        }
        const std::string def_path = "tvcvrtrt7_17.def";
        outputs.emplace_back(def_path, def_file(read_file(source_dir + def_path), families));
        int stale = 0;
        for (const auto &[path, text] : outputs) {
            if (read_file(source_dir + path) == text) continue;
            ++stale;
            if (write) {
                std::ofstream(source_dir + path, std::ios::binary) << text;
                std::printf("rewrote %s\n", path.c_str());
            } else {
                std::printf("stale: %s (build the target \"regenerate\")\n", path.c_str());
            }
        }
        return write || stale == 0 ? 0 : 1;
    } catch (const std::exception &error) {
        std::fprintf(stderr, "interface_generator: %s\n", error.what());
        return 1;
    }
}
