// The registered components of both categories, read with the library's own
// component information query.
#pragma once

#include <windows.h>

#include <cstdio>
#include <memory>

#include "tools/tvcvrtrt-check/json_writer.h"
#include "tvcvrtrt/component_info.h"

namespace tvc_check {

struct component_tree_deleter {
    void operator()(componentInfo *tree) const { tvcFreeComponentInfo_proxy(&tree); }
};
using component_tree = std::unique_ptr<componentInfo, component_tree_deleter>;

struct category_listing {
    const char *name;
    HRESULT result = S_OK;
    component_tree components;
};

struct component_listing {
    category_listing categories[2];
};

// component_name: null for every component; load: read the type libraries.
component_listing list_components(const char *component_name, bool load);

void print_text(const component_listing &listing, std::FILE *out);
void print_json(const component_listing &listing, json_writer &json);

}  // namespace tvc_check
