#include "tools/tvcvrtrt-check/component_listing.h"

namespace tvc_check {

namespace {

struct category {
    const char *name;
    unsigned int mask;
};
constexpr category categories[] = {
    {"COM components", TVC_COM_COMPONENTS_CATEGORY},
    {"Excel add-in components", TVC_XL_COMPONENTS_CATEGORY},
};

// Flag letters of a parameter, in the order of the PARAMFLAG_ bits.
std::string parameter_flags(unsigned short flags) {
    static const char *const names[] = {"in", "out", "lcid", "retval", "optional", "default", "custom"};
    std::string text;
    for (unsigned bit = 0; bit < 7; ++bit) {
        if (flags & (1u << bit)) text += (text.empty() ? "" : ",") + std::string(names[bit]);
    }
    return text;
}

void print_methods(const char *heading, const methodInfo *method, std::FILE *out) {
    std::fprintf(out, "        %s\n", heading);
    for (; method != nullptr; method = method->next) {
        std::fprintf(out, "          %s(", method->name);
        for (const paramInfo *param = method->params; param != nullptr; param = param->next) {
            std::fprintf(out, "%s[%s] %s", param == method->params ? "" : ", ",
                         parameter_flags(param->flags).c_str(), param->name);
        }
        std::fprintf(out, ")  id %d\n", method->member_id);
    }
}

void json_methods(const char *name, const methodInfo *method, json_writer &json) {
    json.key(name);
    json.begin_array();
    for (; method != nullptr; method = method->next) {
        json.begin_object();
        json.member("name", method->name);
        json.member("member_id", static_cast<long long>(method->member_id));
        json.member("return_type", static_cast<long long>(method->return_type));
        json.key("params");
        json.begin_array();
        for (const paramInfo *param = method->params; param != nullptr; param = param->next) {
            json.begin_object();
            json.member("name", param->name);
            json.member("type", static_cast<long long>(param->type));
            json.member("flags", static_cast<long long>(param->flags));
            json.member("indirection", static_cast<long long>(param->indirection));
            json.end_object();
        }
        json.end_array();
        json.end_object();
    }
    json.end_array();
}

}  // namespace

component_listing list_components(const char *component_name, bool load) {
    component_listing listing;
    for (std::size_t index = 0; index < std::size(categories); ++index) {
        componentInfo *tree = nullptr;
        // A negative major version: every registered version.
        listing.categories[index].name = categories[index].name;
        listing.categories[index].result =
            tvcGetComponentInfo_proxy(component_name, -1, 0, load ? 1 : 0, categories[index].mask, &tree);
        listing.categories[index].components.reset(tree);
    }
    return listing;
}

void print_text(const component_listing &listing, std::FILE *out) {
    std::fprintf(out, "Registered components\n");
    for (const category_listing &category : listing.categories) {
        std::fprintf(out, "  %s", category.name);
        if (FAILED(category.result)) {
            std::fprintf(out, ": query failed, 0x%08lX\n", static_cast<unsigned long>(category.result));
            continue;
        }
        std::fprintf(out, "%s\n", category.components ? "" : ": none");
        for (const componentInfo *component = category.components.get(); component != nullptr;
             component = component->next) {
            std::fprintf(out, "    \"%s\" %s %u.%u\n      %s\n", component->name, component->libid,
                         component->major_version, component->minor_version, component->type_lib_path);
            for (const classInfo *cls = component->classes; cls != nullptr; cls = cls->next) {
                std::fprintf(out, "      class \"%s\" %s %s\n", cls->description, cls->clsid, cls->prog_id);
                print_methods("methods", cls->methods, out);
                print_methods("events", cls->events, out);
                std::fprintf(out, "        properties\n");
                for (const propertyInfo *property = cls->properties; property != nullptr; property = property->next) {
                    std::fprintf(out, "          %s%s%s  id %d\n", property->name, property->getter ? " get" : "",
                                 property->setter ? " put" : "", property->member_id);
                }
            }
        }
    }
}

void print_json(const component_listing &listing, json_writer &json) {
    json.key("components");
    json.begin_array();
    for (const category_listing &category : listing.categories) {
        json.begin_object();
        json.member("category", category.name);
        json.member("result", static_cast<long long>(static_cast<unsigned long>(category.result)));
        json.key("type_libraries");
        json.begin_array();
        for (const componentInfo *component = category.components.get(); component != nullptr;
             component = component->next) {
            json.begin_object();
            json.member("name", component->name);
            json.member("libid", component->libid);
            json.member("version", std::to_string(component->major_version) + "." +
                                       std::to_string(component->minor_version));
            json.member("path", component->type_lib_path);
            json.key("classes");
            json.begin_array();
            for (const classInfo *cls = component->classes; cls != nullptr; cls = cls->next) {
                json.begin_object();
                json.member("description", cls->description);
                json.member("clsid", cls->clsid);
                json.member("prog_id", cls->prog_id);
                json.member("version_independent_prog_id", cls->version_independent_prog_id);
                json.member("server_path", cls->server_path);
                json_methods("methods", cls->methods, json);
                json_methods("events", cls->events, json);
                json.key("properties");
                json.begin_array();
                for (const propertyInfo *property = cls->properties; property != nullptr; property = property->next) {
                    json.begin_object();
                    json.member("name", property->name);
                    json.member("member_id", static_cast<long long>(property->member_id));
                    json.member("readable", property->getter != nullptr);
                    json.member("writable", property->setter != nullptr);
                    json.end_object();
                }
                json.end_array();
                json.end_object();
            }
            json.end_array();
            json.end_object();
        }
        json.end_array();
        json.end_object();
    }
    json.end_array();
}

}  // namespace tvc_check
