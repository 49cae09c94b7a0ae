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

// Members carry the IID of the interface they belong to, as the records do,
// so that a report groups them under it (member ids repeat across a class's
// interfaces).
struct method_record {
    std::string name;
    int member_id = 0;
    unsigned return_type = 0;
    int return_indirection = 0;
    std::string iid;
    std::vector<parameter_record> params;
};

struct property_record {
    std::string name;
    int member_id = 0;
    bool readable = false;
    bool writable = false;
    std::string iid;
    // The value's type: the getter's result (its retval parameter), else
    // what the setter takes.
    unsigned type = 0;
    int indirection = 0;
};

struct category_record {
    std::string catid, description;
};

struct class_record {
    std::string description, clsid, prog_id, version_independent_prog_id, server_path, libid;
    std::vector<method_record> methods, events;
    std::vector<property_record> properties;
    std::vector<category_record> categories;  // from the category registry
};

// A registered interface of a type library: its name as registered.
struct interface_record {
    std::string name, iid;
};

struct type_library_record {
    std::string name, libid, path;
    unsigned major = 0, minor = 0;
    bool loaded = false;      // classes with their members, read from the file
    std::string read_error;   // why the file could not be read
    std::vector<class_record> classes;
    std::vector<interface_record> interfaces;
};

// A type as the type library spells it: the name of a VARTYPE (BSTR,
// double, VARIANT_BOOL, IDispatch*, SAFEARRAY(long)) with a * per pointer
// level; the number in hexadecimal for a type it does not know.
std::string type_name(unsigned vartype, int indirection);

// The names of a parameter's PARAMFLAG_ bits, lowest first: "in, out".
std::string parameter_flags(unsigned flags);

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
// version-independent ProgID, in its letter case, as the library's query
// takes it; load: read the type libraries.
component_listing list_components(const char *component_name, bool load);

void print_text(const component_listing &listing, std::FILE *out);
void print_json(const component_listing &listing, json_writer &json);

}  // namespace tvc_check
