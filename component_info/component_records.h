// Creation and release of the component information records, and the two
// finders that return the slot a record lives in (or the empty slot at the
// end of its list, where the next record is appended).
//
// A slot is the address of a record pointer: a list head or some record's
// next, classes, methods ... field. Records come from the C heap because the
// caller releases the tree through this library long after the query.
#pragma once

#include <windows.h>

#include <cstddef>

#include "tvcvrtrt/component_info.h"

namespace tvc {

// Allocates a record with every field zero into *slot (set to null first, so
// it must not hold a list). E_INVALIDARG for a null slot, E_OUTOFMEMORY.
HRESULT create_record(componentInfo **slot) noexcept;
HRESULT create_record(classInfo **slot) noexcept;
HRESULT create_record(interfaceInfo **slot) noexcept;
HRESULT create_record(methodInfo **slot) noexcept;
HRESULT create_record(paramInfo **slot) noexcept;
HRESULT create_record(propertyInfo **slot) noexcept;

// Releases the list that starts in *slot with every list below its records
// and empties the slot. Nothing happens for a null slot or an empty one.
void release_records(componentInfo **slot) noexcept;
void release_records(classInfo **slot) noexcept;
void release_records(interfaceInfo **slot) noexcept;
void release_records(methodInfo **slot) noexcept;
void release_records(paramInfo **slot) noexcept;
void release_records(propertyInfo **slot) noexcept;

// The slot holding the record whose iid is the text of iid, or the empty
// slot at the end of the list. Exact, case-sensitive comparison.
interfaceInfo **find_interface_by_iid(interfaceInfo **head, const GUID &iid) noexcept;
interfaceInfo **find_interface_by_iid(interfaceInfo **head, const char *iid_text) noexcept;

// The same on a componentInfo list by its libid text.
componentInfo **find_component_by_libid(componentInfo **head, const char *libid) noexcept;

// Records created and not yet released, over every kind and thread; lets a
// test show that a query and its release leave nothing behind.
long live_component_records() noexcept;

// Owns a list of records until it is handed on; releases it otherwise.
template <typename Record>
class record_list {
public:
    record_list() noexcept = default;
    record_list(const record_list &) = delete;
    record_list &operator=(const record_list &) = delete;
    ~record_list() { release_records(&head_); }

    Record **slot() noexcept { return &head_; }
    Record *get() const noexcept { return head_; }
    Record *release() noexcept {
        Record *head = head_;
        head_ = nullptr;
        return head;
    }

private:
    Record *head_ = nullptr;
};

// Copies text into a fixed field, cut to the field's width minus one so the
// field always ends in a NUL.
template <std::size_t Width>
void copy_into_field(char (&field)[Width], const char *text) noexcept {
    std::size_t length = 0;
    while (length + 1 < Width && text[length] != '\0') {
        field[length] = text[length];
        ++length;
    }
    field[length] = '\0';
}

}  // namespace tvc
