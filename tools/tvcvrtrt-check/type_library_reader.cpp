#include "tools/tvcvrtrt-check/type_library_reader.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "common/unique_resource.h"
#include "tools/tvcvrtrt-check/bounded_child.h"
#include "tools/tvcvrtrt-check/record_schema.h"
#include "tools/tvcvrtrt-check/text.h"
#include "tvcvrtrt/component_info.h"

namespace tvc_check {

namespace {

// Exit statuses of the child; any other status is the code of the
// exception that ended it.
constexpr DWORD child_read = 0;
constexpr DWORD child_failed = 1;
// No real type library takes a child this long; a reader that loops on a
// damaged file is ended.
constexpr DWORD child_time_limit_ms = 60000;

// A record's text field, which a full field leaves without its NUL.
template <std::size_t Size> std::string field(const char (&text)[Size]) {
    return std::string(text, strnlen(text, Size));
}

template <typename Node, typename Visit> void each(const Node *node, Visit visit) {
    for (; node != nullptr; node = node->next) visit(*node);
}

method_record method_from(const methodInfo &method) {
    method_record record{field(method.name), method.member_id, method.return_type, method.return_indirection,
                         field(method.iid), {}};
    each(method.params, [&](const paramInfo &param) {
        record.params.push_back({field(param.name), param.type, param.flags, param.indirection});
    });
    return record;
}

// A property's value type: what its getter gives (a retval parameter's
// type without its pointer, or the result), else what its setter takes.
property_record property_from(const propertyInfo &property) {
    property_record record{field(property.name), property.member_id, property.getter != nullptr,
                           property.setter != nullptr, field(property.iid), 0, 0};
    const paramInfo *value = nullptr;
    if (property.getter != nullptr) {
        each(property.getter->params, [&](const paramInfo &param) {
            if ((param.flags & PARAMFLAG_FRETVAL) != 0) value = &param;
        });
        if (value == nullptr) {
            record.type = property.getter->return_type;
            record.indirection = property.getter->return_indirection;
            return record;
        }
        record.type = value->type;
        record.indirection = value->indirection > 0 ? value->indirection - 1 : 0;
    } else if (property.setter != nullptr) {
        each(property.setter->params, [&](const paramInfo &param) { value = &param; });
        if (value != nullptr) {
            record.type = value->type;
            record.indirection = value->indirection;
        }
    }
    return record;
}

std::string lines_of_methods(const char *tag, const std::vector<method_record> &methods) {
    std::string lines;
    for (const method_record &method : methods) {
        lines += fields_line(wire_fields(tag, method, method_fields()));
        for (const parameter_record &param : method.params) {
            lines += fields_line(wire_fields("P", param, parameter_fields()));
        }
    }
    return lines;
}

}  // namespace

// "L" with the version; "I" for each registered interface; "C" for each
// class, followed by its methods ("M"), events ("V"), each with its
// parameters ("P"), and its properties ("R"). "E" with the reason instead,
// when the child could not read the file.
std::string library_answer(const type_library_record &library) {
    std::string answer = fields_line(wire_fields("L", library, version_fields()));
    for (const interface_record &registered : library.interfaces) {
        answer += fields_line(wire_fields("I", registered, interface_fields()));
    }
    for (const class_record &cls : library.classes) {
        answer += fields_line(wire_fields("C", cls, class_fields()));
        answer += lines_of_methods("M", cls.methods);
        answer += lines_of_methods("V", cls.events);
        for (const property_record &property : cls.properties) {
            answer += fields_line(wire_fields("R", property, property_fields()));
        }
    }
    return answer;
}

bool read_library_answer(const std::string &answer, type_library_record &library, std::string &error) {
    std::vector<method_record> *methods = nullptr;
    std::vector<std::vector<std::string>> lines;
    if (!lines_of(answer, lines)) return false;
    for (const std::vector<std::string> &fields : lines) {
        const std::string &tag = fields[0];
        class_record *cls = library.classes.empty() ? nullptr : &library.classes.back();
        bool read = false;
        if (tag == "E" && fields.size() == 2) {
            error = fields[1];
            read = true;
        } else if (tag == "L") {
            read = read_wire_fields(fields, library, version_fields());
        } else if (tag == "I") {
            read = read_wire_fields(fields, library.interfaces.emplace_back(), interface_fields());
        } else if (tag == "C") {
            read = read_wire_fields(fields, library.classes.emplace_back(), class_fields());
            methods = nullptr;
        } else if ((tag == "M" || tag == "V") && cls != nullptr) {
            methods = tag == "M" ? &cls->methods : &cls->events;
            read = read_wire_fields(fields, methods->emplace_back(), method_fields());
        } else if (tag == "P" && methods != nullptr) {
            read = read_wire_fields(fields, methods->back().params.emplace_back(), parameter_fields());
        } else if (tag == "R" && cls != nullptr) {
            read = read_wire_fields(fields, cls->properties.emplace_back(), property_fields());
        }
        if (!read) return false;
    }
    return true;
}

type_library_record from_records(const componentInfo &component) {
    type_library_record library;
    library.name = field(component.name);
    library.libid = field(component.libid);
    library.path = field(component.type_lib_path);
    library.major = component.major_version;
    library.minor = component.minor_version;
    each(component.classes, [&](const classInfo &cls) {
        class_record record{field(cls.description),
                            field(cls.clsid),
                            field(cls.prog_id),
                            field(cls.version_independent_prog_id),
                            field(cls.server_path),
                            field(cls.libid),
                            {},
                            {},
                            {},
                            {}};
        each(cls.methods, [&](const methodInfo &method) { record.methods.push_back(method_from(method)); });
        each(cls.events, [&](const methodInfo &method) { record.events.push_back(method_from(method)); });
        each(cls.properties, [&](const propertyInfo &property) { record.properties.push_back(property_from(property)); });
        library.classes.push_back(std::move(record));
    });
    each(component.interfaces, [&](const interfaceInfo &registered) {
        library.interfaces.push_back({field(registered.name), field(registered.iid)});
    });
    return library;
}

int serve_type_library(const char *argument) {
    become_bounded_child();
    char libid[40] = {};
    int major = 0, minor = 0;
    if (std::sscanf(argument, "%39[^/]/%d.%d", libid, &major, &minor) != 3) {
        write_fields({"E", "bad request"});
        return child_failed;
    }
    const tvc::unique_com_initialization com(SUCCEEDED(CoInitialize(nullptr)));
    componentInfo *tree = nullptr;
    const HRESULT result = tvcGetLIBIDInfo_proxy(libid, major, minor, 1, &tree);
    const int status = FAILED(result) ? child_failed : tree == nullptr ? child_failed : child_read;
    if (FAILED(result)) {
        write_fields({"E", "the library's query answered " + hresult_text(result)});
    } else if (tree == nullptr) {
        write_fields({"E", "this version is no longer registered"});
    } else {
        std::fputs(library_answer(from_records(*tree)).c_str(), stdout);
    }
    tvcFreeComponentInfo_proxy(&tree);
    std::fflush(stdout);
    return status;
}

void read_in_child(type_library_record &library) {
    const child_run run = run_bounded_child(
        own_command_line(read_type_library_option,
                         library.libid + "/" + std::to_string(library.major) + "." + std::to_string(library.minor)),
        child_time_limit_ms);
    std::string error;
    type_library_record read;
    if (!run.started) {
        library.read_error = "could not be read: the reader did not start";
    } else if (run.over_memory_limit) {
        library.read_error = "could not be read: the reader went past its memory limit";
    } else if (run.timed_out) {
        library.read_error = "could not be read: the reader did not finish";
    } else if (run.status != child_read && run.status != child_failed) {
        library.read_error = "could not be read: the reader crashed, exception " + status_text(run.status);
    } else if (!read_library_answer(run.answer, read, error) || (run.status == child_read) != error.empty()) {
        library.read_error = "could not be read: the reader's answer is damaged";
    } else if (run.status == child_failed) {
        library.read_error = "could not be read: " + error;
    } else {
        library.major = read.major;
        library.minor = read.minor;
        library.classes = std::move(read.classes);
        library.interfaces = std::move(read.interfaces);
        library.loaded = true;
    }
}

}  // namespace tvc_check
