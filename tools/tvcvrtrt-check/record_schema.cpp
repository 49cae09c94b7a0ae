#include "tools/tvcvrtrt-check/record_schema.h"

namespace tvc_check {

namespace {

constexpr field_use wire_only = field_use::wire_only;

}  // namespace

const record_schema<parameter_record> &parameter_fields() {
    using record = parameter_record;
    static const record_schema<record> fields{
        {"name", &record::name},
        {"type", &record::type},
        {"type_name", +[](const record &param) { return type_name(param.type, param.indirection); }},
        {"indirection", &record::indirection},
        {"flags", &record::flags},
        {"flag_names", +[](const record &param) { return parameter_flags(param.flags); }},
    };
    return fields;
}

const record_schema<method_record> &method_fields() {
    using record = method_record;
    static const record_schema<record> fields{
        {"name", &record::name},
        {"member_id", &record::member_id},
        {"return_type", &record::return_type},
        {"return_type_name",
         +[](const record &method) { return type_name(method.return_type, method.return_indirection); }},
        {"return_indirection", &record::return_indirection},
        {"iid", &record::iid, wire_only},
    };
    return fields;
}

const record_schema<property_record> &property_fields() {
    using record = property_record;
    static const record_schema<record> fields{
        {"name", &record::name},
        {"member_id", &record::member_id},
        {"type", &record::type},
        {"type_name", +[](const record &property) { return type_name(property.type, property.indirection); }},
        {"indirection", &record::indirection},
        {"readable", &record::readable},
        {"writable", &record::writable},
        {"iid", &record::iid, wire_only},
    };
    return fields;
}

const record_schema<class_record> &class_fields() {
    using record = class_record;
    static const record_schema<record> fields{
        {"description", &record::description},
        {"clsid", &record::clsid},
        {"prog_id", &record::prog_id},
        {"version_independent_prog_id", &record::version_independent_prog_id},
        {"server_path", &record::server_path},
        {"libid", &record::libid, wire_only},
    };
    return fields;
}

const record_schema<interface_record> &interface_fields() {
    using record = interface_record;
    static const record_schema<record> fields{
        {"name", &record::name},
        {"iid", &record::iid},
    };
    return fields;
}

const record_schema<type_library_record> &version_fields() {
    using record = type_library_record;
    static const record_schema<record> fields{
        {"major", &record::major, wire_only},
        {"minor", &record::minor, wire_only},
    };
    return fields;
}

}  // namespace tvc_check
