#include "tools/tvcvrtrt-check/component_listing.h"

#include <iterator>
#include <string>

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

// The records' lists, linked through next, as ranges for range-for.
template <typename Node> struct linked_list {
    struct iterator {
        const Node *node;
        const Node &operator*() const { return *node; }
        iterator &operator++() {
            node = node->next;
            return *this;
        }
        bool operator!=(const iterator &other) const { return node != other.node; }
    };
    const Node *head;
    iterator begin() const { return {head}; }
    iterator end() const { return {nullptr}; }
};
template <typename Node> linked_list<Node> each(const Node *head) { return {head}; }

// Names of the PARAMFLAG_ bits, lowest first.
std::string parameter_flags(unsigned short flags) {
    static const char *const names[] = {"in", "out", "lcid", "retval", "optional", "default", "custom"};
    std::string text;
    for (unsigned bit = 0; bit < std::size(names); ++bit) {
        if (flags & (1u << bit)) text += (text.empty() ? "" : ",") + std::string(names[bit]);
    }
    return text;
}

void print_methods(const char *heading, const methodInfo *methods, std::FILE *out) {
    std::fprintf(out, "        %s\n", heading);
    for (const methodInfo &method : each(methods)) {
        std::fprintf(out, "          %s(", method.name);
        for (const paramInfo &param : each(method.params)) {
            std::fprintf(out, "%s[%s] %s", &param == method.params ? "" : ", ",
                         parameter_flags(param.flags).c_str(), param.name);
        }
        std::fprintf(out, ")  id %d\n", method.member_id);
    }
}

void print_class(const classInfo &cls, std::FILE *out) {
    std::fprintf(out, "      class \"%s\" %s %s\n", cls.description, cls.clsid, cls.prog_id);
    print_methods("methods", cls.methods, out);
    print_methods("events", cls.events, out);
    std::fprintf(out, "        properties\n");
    for (const propertyInfo &property : each(cls.properties)) {
        std::fprintf(out, "          %s%s%s  id %d\n", property.name, property.getter ? " get" : "",
                     property.setter ? " put" : "", property.member_id);
    }
}

void json_methods(const char *name, const methodInfo *methods, json_writer &json) {
    json.object_array(name, each(methods), [&](const methodInfo &method) {
        json.member("name", method.name);
        json.member("member_id", method.member_id);
        json.member("return_type", method.return_type);
        json.object_array("params", each(method.params), [&](const paramInfo &param) {
            json.member("name", param.name);
            json.member("type", param.type);
            json.member("flags", param.flags);
            json.member("indirection", param.indirection);
        });
    });
}

void json_class(const classInfo &cls, json_writer &json) {
    json.member("description", cls.description);
    json.member("clsid", cls.clsid);
    json.member("prog_id", cls.prog_id);
    json.member("version_independent_prog_id", cls.version_independent_prog_id);
    json.member("server_path", cls.server_path);
    json_methods("methods", cls.methods, json);
    json_methods("events", cls.events, json);
    json.object_array("properties", each(cls.properties), [&](const propertyInfo &property) {
        json.member("name", property.name);
        json.member("member_id", property.member_id);
        json.member("readable", property.getter != nullptr);
        json.member("writable", property.setter != nullptr);
    });
}

}  // namespace

component_listing list_components(const char *component_name, bool load) {
    component_listing listing;
    for (std::size_t index = 0; index < std::size(categories); ++index) {
        componentInfo *tree = nullptr;
        listing.categories[index].name = categories[index].name;
        // A negative major version: every registered version.
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
        for (const componentInfo &component : each(category.components.get())) {
            std::fprintf(out, "    \"%s\" %s %u.%u\n      %s\n", component.name, component.libid,
                         component.major_version, component.minor_version, component.type_lib_path);
            for (const classInfo &cls : each(component.classes)) print_class(cls, out);
        }
    }
}

void print_json(const component_listing &listing, json_writer &json) {
    json.object_array("components", listing.categories, [&](const category_listing &category) {
        json.member("category", category.name);
        json.member("result", static_cast<unsigned long>(category.result));
        json.object_array("type_libraries", each(category.components.get()), [&](const componentInfo &component) {
            json.member("name", component.name);
            json.member("libid", component.libid);
            json.member("version", std::to_string(component.major_version) + "." +
                                       std::to_string(component.minor_version));
            json.member("path", component.type_lib_path);
            json.object_array("classes", each(component.classes),
                              [&](const classInfo &cls) { json_class(cls, json); });
        });
    });
}

}  // namespace tvc_check
