#include "tools/tvcvrtrt-check/family_symbols.h"

#include <cstring>
#include <iterator>

namespace tvc_check {

namespace {

#define TVC_FAMILY(name, routine, file)
#define TVC_SPECIAL(export_name, result, args)
#define TVC_ENTRY(shape, export_name, symbol, result, args) #symbol,
constexpr const char *array_symbols[] = {
#include "forwarding/array_family.inc"
};
constexpr const char *data_file_symbols[] = {
#include "forwarding/data_file_family.inc"
};
constexpr const char *runtime_symbols[] = {
#include "forwarding/runtime_family.inc"
};
constexpr const char *base_symbols[] = {
#include "forwarding/base_family.inc"
};
#undef TVC_FAMILY
#undef TVC_ENTRY

#define TVC_FAMILY(name, routine, file) family_table{#name, file, name##_symbols, std::size(name##_symbols)},
#define TVC_ENTRY(shape, export_name, symbol, result, args)
constexpr family_table tables[] = {
#include "forwarding/families.inc"
};
#undef TVC_FAMILY
#undef TVC_ENTRY
#undef TVC_SPECIAL

}  // namespace

family_list families() { return {tables, std::size(tables)}; }

const family_table *family_of_file(const char *file) {
    for (const family_table &table : tables) {
        if (std::strcmp(table.file, file) == 0) return &table;
    }
    return nullptr;
}

}  // namespace tvc_check
