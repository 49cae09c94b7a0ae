// The registered components of both categories. The classes of each
// category are read from the registry by this command, so that a class the
// library's query passes over is still listed, with the reason; the type
// libraries they belong to are described by the library's own query; with
// --load each type library file is read in a child process of its own
// (type_library_reader.h), since the system's reader runs in the process
// that asks it and a hostile file can crash it.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/json_writer.h"

namespace tvc_check {

struct parameter_record {
    std::string name;
    unsigned type = 0;
    unsigned flags = 0;
    int indirection = 0;
};

struct method_record {
    std::string name;
    int member_id = 0;
    unsigned return_type = 0;
    std::vector<parameter_record> params;
};

struct property_record {
    std::string name;
    int member_id = 0;
    bool readable = false;
    bool writable = false;
};

struct class_record {
    std::string description, clsid, prog_id, version_independent_prog_id, server_path, libid;
    std::vector<method_record> methods, events;
    std::vector<property_record> properties;
};

struct type_library_record {
    std::string name, libid, path;
    unsigned major = 0, minor = 0;
    bool loaded = false;      // classes with their members, read from the file
    std::string read_error;   // why the file could not be read
    std::vector<class_record> classes;
};

// A class of the category that no described type library holds.
struct undescribed_class {
    class_record registration;
    std::string reason;
};

struct category_listing {
    const char *name = "";
    HRESULT result = S_OK;
    std::vector<type_library_record> type_libraries;
    std::vector<undescribed_class> undescribed;
};

struct component_listing {
    category_listing categories[2];

    // False when a type library that --load was to read could not be read.
    bool everything_read() const;
};

// component_name: null for every component, else the first piece of the
// version-independent ProgID, or with a dot a whole ProgID, in any case;
// load: read the type libraries.
component_listing list_components(const char *component_name, bool load);

void print_text(const component_listing &listing, std::FILE *out);
void print_json(const component_listing &listing, json_writer &json);

}  // namespace tvc_check
