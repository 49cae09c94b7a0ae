// The fields of the component records (component_listing.h), once: the type
// library reader's child writes them by this table, the parent reads them
// back by it, and the JSON report prints them by it, so that a field added
// here reaches all three and the child's line lengths are counted, not typed.
#pragma once

#include <cstdlib>
#include <string>
#include <variant>
#include <vector>

#include "tools/json_writer.h"
#include "tools/tvcvrtrt-check/component_listing.h"

namespace tvc_check {

enum class field_use {
    wire_and_json,  // written by the child and printed
    wire_only,      // written by the child, for the parent's grouping
};

// A field of Record: a member, or (for the report only) text derived from
// the record, such as a type's name beside its number.
template <typename Record> struct record_field {
    using derived_text = std::string (*)(const Record &);
    const char *name;  // the JSON key
    std::variant<std::string Record::*, int Record::*, unsigned Record::*, bool Record::*, derived_text> member;
    field_use use = field_use::wire_and_json;
};

template <typename Record> using record_schema = std::vector<record_field<Record>>;

// The tables, in the report's order; lists (params, methods, categories...)
// are not fields: the reader and the printers walk them.
const record_schema<parameter_record> &parameter_fields();
const record_schema<method_record> &method_fields();
const record_schema<property_record> &property_fields();
const record_schema<class_record> &class_fields();
const record_schema<interface_record> &interface_fields();
const record_schema<type_library_record> &version_fields();  // the version line only

template <typename Record> bool on_wire(const record_field<Record> &field) {
    return !std::holds_alternative<typename record_field<Record>::derived_text>(field.member);
}

// The child's line for a record: the tag, then each field on the wire.
template <typename Record>
std::vector<std::string> wire_fields(const char *tag, const Record &record, const record_schema<Record> &schema) {
    std::vector<std::string> fields{tag};
    for (const record_field<Record> &field : schema) {
        if (!on_wire(field)) continue;
        std::visit(
            [&](auto member) {
                using member_type = decltype(member);
                if constexpr (std::is_same_v<member_type, std::string Record::*>) {
                    fields.push_back(record.*member);
                } else if constexpr (std::is_same_v<member_type, bool Record::*>) {
                    fields.push_back(record.*member ? "1" : "0");
                } else if constexpr (!std::is_same_v<member_type, typename record_field<Record>::derived_text>) {
                    fields.push_back(std::to_string(record.*member));
                }
            },
            field.member);
    }
    return fields;
}

// The parent's side: false for a line of another length.
template <typename Record>
bool read_wire_fields(const std::vector<std::string> &fields, Record &record, const record_schema<Record> &schema) {
    std::size_t index = 1;
    for (const record_field<Record> &field : schema) index += on_wire(field) ? 1 : 0;
    if (fields.size() != index) return false;
    index = 1;
    for (const record_field<Record> &field : schema) {
        if (!on_wire(field)) continue;
        const std::string &text = fields[index++];
        std::visit(
            [&](auto member) {
                using member_type = decltype(member);
                if constexpr (std::is_same_v<member_type, std::string Record::*>) {
                    record.*member = text;
                } else if constexpr (std::is_same_v<member_type, bool Record::*>) {
                    record.*member = text == "1";
                } else if constexpr (std::is_same_v<member_type, int Record::*>) {
                    record.*member = std::atoi(text.c_str());
                } else if constexpr (std::is_same_v<member_type, unsigned Record::*>) {
                    record.*member = static_cast<unsigned>(std::atoi(text.c_str()));
                }
            },
            field.member);
    }
    return true;
}

// The report's members for a record, in the table's order.
template <typename Record> void json_fields(const Record &record, const record_schema<Record> &schema, json_writer &json) {
    for (const record_field<Record> &field : schema) {
        if (field.use != field_use::wire_and_json) continue;
        std::visit(
            [&](auto member) {
                using member_type = decltype(member);
                if constexpr (std::is_same_v<member_type, typename record_field<Record>::derived_text>) {
                    json.member(field.name, member(record));
                } else {
                    json.member(field.name, record.*member);
                }
            },
            field.member);
    }
}

}  // namespace tvc_check
