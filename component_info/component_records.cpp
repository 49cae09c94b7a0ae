#include "component_info/component_records.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "registration/guid_registry_form.h"

namespace tvc {

namespace {

std::atomic<long> live_records{0};

template <typename Record>
HRESULT allocate_record(Record **slot) noexcept {
    if (slot == nullptr) return E_INVALIDARG;
    *slot = nullptr;
    // Zeroed whole, padding included: every text field starts empty and no
    // byte of an earlier allocation can show through to a caller.
    auto *record = static_cast<Record *>(std::calloc(1, sizeof(Record)));
    if (record == nullptr) return E_OUTOFMEMORY;
    live_records.fetch_add(1, std::memory_order_relaxed);
    *slot = record;
    return S_OK;
}

void release_lists_below(componentInfo &record) noexcept {
    release_records(&record.classes);
    release_records(&record.interfaces);
}
void release_lists_below(classInfo &record) noexcept {
    release_records(&record.methods);
    release_records(&record.events);
    release_records(&record.properties);
}
void release_lists_below(methodInfo &record) noexcept { release_records(&record.params); }
void release_lists_below(propertyInfo &record) noexcept {
    release_records(&record.getter);
    release_records(&record.setter);
}
void release_lists_below(interfaceInfo &) noexcept {}
void release_lists_below(paramInfo &) noexcept {}

template <typename Record>
void release_list(Record **slot) noexcept {
    if (slot == nullptr) return;
    Record *record = *slot;
    *slot = nullptr;
    while (record != nullptr) {
        Record *next = record->next;
        release_lists_below(*record);
        std::free(record);
        live_records.fetch_sub(1, std::memory_order_relaxed);
        record = next;
    }
}

}  // namespace

HRESULT create_record(componentInfo **slot) noexcept { return allocate_record(slot); }
HRESULT create_record(classInfo **slot) noexcept { return allocate_record(slot); }
HRESULT create_record(interfaceInfo **slot) noexcept { return allocate_record(slot); }
HRESULT create_record(methodInfo **slot) noexcept { return allocate_record(slot); }
HRESULT create_record(paramInfo **slot) noexcept { return allocate_record(slot); }
HRESULT create_record(propertyInfo **slot) noexcept { return allocate_record(slot); }

void release_records(componentInfo **slot) noexcept { release_list(slot); }
void release_records(classInfo **slot) noexcept { release_list(slot); }
void release_records(interfaceInfo **slot) noexcept { release_list(slot); }
void release_records(methodInfo **slot) noexcept { release_list(slot); }
void release_records(paramInfo **slot) noexcept { release_list(slot); }
void release_records(propertyInfo **slot) noexcept { release_list(slot); }

interfaceInfo **find_interface_by_iid(interfaceInfo **head, const char *iid_text) noexcept {
    interfaceInfo **slot = head;
    while (*slot != nullptr && std::strcmp((*slot)->iid, iid_text) != 0) slot = &(*slot)->next;
    return slot;
}

interfaceInfo **find_interface_by_iid(interfaceInfo **head, const GUID &iid) noexcept {
    return find_interface_by_iid(head, make_guid_text(iid).c_str());
}

componentInfo **find_component_by_libid(componentInfo **head, const char *libid) noexcept {
    componentInfo **slot = head;
    while (*slot != nullptr && std::strcmp((*slot)->libid, libid) != 0) slot = &(*slot)->next;
    return slot;
}

long live_component_records() noexcept { return live_records.load(std::memory_order_relaxed); }

}  // namespace tvc
