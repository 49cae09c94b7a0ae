// Reading a type library file into the component information records: its
// registered coclasses with their methods, events and properties, and its
// registered interfaces. The file is loaded afresh and never registered.
#include "component_info/component_query.h"

#include <wrl/client.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <memory>
#include <new>
#include <string>
#include <type_traits>

#include "common/code_page_text.h"
#include "common/unique_resource.h"
#include "component_info/component_records.h"
#include "component_info/query_reasons.h"
#include "registration/guid_registry_form.h"

namespace tvc {

namespace {

using Microsoft::WRL::ComPtr;

// The names GetNames hands out for one member, each in its owner. GetNames
// fills an array of BSTRs: the owners stand in one, a BSTR each.
static_assert(sizeof(unique_bstr) == sizeof(BSTR) && std::is_standard_layout_v<unique_bstr>,
              "an owner is laid out as the BSTR it holds");
class member_names {
public:
    explicit member_names(UINT capacity) noexcept
        : capacity_(capacity),
          heap_names_(capacity <= inline_capacity ? nullptr : new (std::nothrow) unique_bstr[capacity]),
          names_(capacity <= inline_capacity ? inline_names_ : heap_names_.get()) {}

    bool allocated() const noexcept { return names_ != nullptr; }
    BSTR *data() noexcept { return reinterpret_cast<BSTR *>(names_); }
    UINT capacity() const noexcept { return capacity_; }
    const wchar_t *operator[](UINT index) const noexcept { return names_[index].get(); }

private:
    static constexpr UINT inline_capacity = 16;
    UINT capacity_;
    unique_bstr inline_names_[inline_capacity];
    std::unique_ptr<unique_bstr[]> heap_names_;
    unique_bstr *names_;
};

bool is_dispatch_member(const wchar_t *name) noexcept {
    static const wchar_t *const members[] = {L"QueryInterface",   L"AddRef",      L"Release",
                                             L"GetTypeInfoCount", L"GetTypeInfo", L"GetIDsOfNames",
                                             L"Invoke"};
    return std::any_of(std::begin(members), std::end(members),
                       [name](const wchar_t *member) { return std::wcscmp(name, member) == 0; });
}

// One walk over the members of one interface, filling the methods list, the
// properties list, or both at once (each slot may be null).
class interface_walk {
public:
    interface_walk(ITypeInfo *info, const TYPEATTR &attributes, methodInfo **methods,
                   propertyInfo **properties) noexcept
        : info_(info), attributes_(attributes), iid_(make_guid_text(attributes.guid)),
          methods_(methods), properties_(properties), method_cursor_(methods) {
        // A list a walk replaces would be unreachable from the answer.
        release_records(methods_);
        release_records(properties_);
    }

    void run() noexcept {
        for (UINT index = 0; index < attributes_.cFuncs && (methods_ || properties_); ++index) {
            visit_member(index);
        }
    }

    // A list whose walk ended in a failure, or that stayed empty, is dropped.
    HRESULT finish_methods(methodInfo **slot) noexcept { return finish(slot, method_status_); }
    HRESULT finish_properties(propertyInfo **slot) noexcept { return finish(slot, property_status_); }

private:
    // Ends the walk of one list: a failing record creation ends it at once.
    void stop_methods(HRESULT reason) noexcept {
        if (methods_ == nullptr) return;
        method_status_ = reason;
        release_records(methods_);
        methods_ = nullptr;  // the rest of the walk no longer fills it
    }
    void stop_properties(HRESULT reason) noexcept {
        if (properties_ == nullptr) return;
        property_status_ = reason;
        release_records(properties_);
        properties_ = nullptr;
    }
    template <typename Record>
    static HRESULT finish(Record **slot, HRESULT status) noexcept {
        if (slot != nullptr && (FAILED(status) || *slot == nullptr)) release_records(slot);
        return status;
    }

    // Every member call counts for the status of each list still walked.
    void note(HRESULT result) noexcept {
        if (methods_ != nullptr) method_status_ = result;
        if (properties_ != nullptr) property_status_ = result;
    }

    void visit_member(UINT index) noexcept {
        unique_func_desc description;
        note(info_->GetFuncDesc(index, description.put(info_)));
        if (!description) return;
        // A file can give a negative count, which the reader passes on.
        const UINT parameters = description->cParams > 0 ? static_cast<UINT>(description->cParams) : 0;
        member_names names(parameters + 1);
        if (!names.allocated()) {
            stop_methods(E_OUTOFMEMORY);
            stop_properties(E_OUTOFMEMORY);
            return;
        }
        UINT count = 0;
        note(info_->GetNames(description->memid, names.data(), names.capacity(), &count));
        if (count == 0) return;
        if (description->invkind == INVOKE_FUNC) {
            if (methods_ != nullptr && !is_dispatch_member(names[0])) {
                record_method(*description, names, count);
            }
        } else if (properties_ != nullptr && std::wcscmp(names[0], L"QEFlags") != 0) {
            record_accessor(*description, names, count);
        }
    }

    // Builds the record of one member into slot; the status the failure of a
    // record creation leaves, or S_OK. The id is the member's own: a lookup
    // by name (GetIDsOfNames) ignores case and reads the file's name table,
    // where characters the library's code page lacks are already "?", so it
    // can answer another member's id.
    HRESULT build_member(const FUNCDESC &description, const member_names &names, UINT count,
                         methodInfo **slot) {
        HRESULT created = create_record(slot);
        if (FAILED(created)) return created;
        methodInfo &record = **slot;
        record.param_count = static_cast<int>(count) - 1;
        narrow_into(record.name, sizeof record.name, names[0], nul_rule::always);
        record.member_id = description.memid;
        copy_into_field(record.iid, iid_.c_str());
        const reduced_type result = reduce_type(description.elemdescFunc.tdesc);
        record.return_type = result.type;
        record.return_indirection = result.indirection;
        paramInfo **parameter_slot = &record.params;
        for (UINT k = 1; k < count; ++k) {
            if (names[k] == nullptr) continue;
            created = create_record(parameter_slot);
            if (FAILED(created)) return created;
            paramInfo &parameter = **parameter_slot;
            const ELEMDESC &element = description.lprgelemdescParam[k - 1];
            narrow_into(parameter.name, sizeof parameter.name, names[k], nul_rule::always);
            parameter.flags = element.paramdesc.wParamFlags;
            const reduced_type type = reduce_type(element.tdesc);
            parameter.type = type.type;
            parameter.indirection = type.indirection;
            parameter_slot = &parameter.next;
        }
        return S_OK;
    }

    void record_method(const FUNCDESC &description, const member_names &names, UINT count) {
        const HRESULT built = build_member(description, names, count, method_cursor_);
        if (FAILED(built)) {
            stop_methods(built);
            return;
        }
        method_status_ = built;
        method_cursor_ = &(*method_cursor_)->next;
    }

    void record_accessor(const FUNCDESC &description, const member_names &names, UINT count) {
        record_list<methodInfo> accessor;
        HRESULT built = build_member(description, names, count, accessor.slot());
        if (SUCCEEDED(built)) built = place_accessor(description.invkind, accessor);
        if (FAILED(built)) {
            stop_properties(built);
            return;
        }
        property_status_ = built;
    }

    // Merges an accessor into the property of its member id (all accessors
    // of one property share it; two names may narrow to the same text): the
    // first getter and the first setter (propput or propputref) met are kept.
    HRESULT place_accessor(INVOKEKIND kind, record_list<methodInfo> &accessor) {
        methodInfo *record = accessor.get();
        propertyInfo **slot = properties_;
        while (*slot != nullptr && (*slot)->member_id != record->member_id) slot = &(*slot)->next;
        if (*slot == nullptr) {
            const HRESULT created = create_record(slot);
            if (FAILED(created)) return created;
            copy_into_field((*slot)->name, record->name);
            copy_into_field((*slot)->iid, record->iid);
            (*slot)->member_id = record->member_id;
        }
        methodInfo *&place = kind == INVOKE_PROPERTYGET ? (*slot)->getter : (*slot)->setter;
        if (place == nullptr) place = accessor.release();
        return S_OK;
    }

    ITypeInfo *info_;
    const TYPEATTR &attributes_;
    const guid_text iid_;
    methodInfo **methods_;
    propertyInfo **properties_;
    methodInfo **method_cursor_;
    HRESULT method_status_ = S_OK;
    HRESULT property_status_ = S_OK;
};

struct walk_results {
    HRESULT methods;
    HRESULT properties;
};

// Walks an interface once for both lists: the result is that of a methods
// walk followed by a properties walk.
walk_results walk_interface(ITypeInfo *info, const TYPEATTR &attributes, methodInfo **methods,
                            propertyInfo **properties) noexcept {
    interface_walk walk(info, attributes, methods, properties);
    walk.run();
    return {walk.finish_methods(methods), walk.finish_properties(properties)};
}

walk_results walk_interface(ITypeInfo *info, methodInfo **methods, propertyInfo **properties) noexcept {
    if (info == nullptr) return {E_INVALIDARG, E_INVALIDARG};
    unique_type_attr attributes;
    const HRESULT fetched = info->GetTypeAttr(attributes.put(info));
    if (FAILED(fetched)) {
        release_records(methods);
        release_records(properties);
        return {fetched, fetched};
    }
    return walk_interface(info, *attributes, methods, properties);
}

bool is_interface_kind(TYPEKIND kind) noexcept { return kind == TKIND_DISPATCH || kind == TKIND_INTERFACE; }

// The one interfaceInfo of a registered interface; nothing when it is not
// registered. The query's cache holds what was read, registered or not.
class interface_records {
public:
    interface_records(interfaceInfo **head, registration_cache &cache) noexcept : head_(head), cache_(cache) {}

    void ensure(const GUID &iid) noexcept {
        interfaceInfo **slot = find_interface_by_iid(head_, iid);
        if (*slot == nullptr) read_interface_registration(iid, slot, &cache_);
    }

private:
    interfaceInfo **head_;
    registration_cache &cache_;
};

// Whether the inheritance chain of an interface ends within a depth no real
// type library comes near. A file can describe an interface that inherits
// from itself, or a chain of any length, and the platform's reader follows
// such chains recursively inside the caller's process; such a type library
// is refused before anything is walked.
constexpr int deepest_inheritance = 64;

bool inheritance_is_bounded(ITypeInfo *info) noexcept {
    ComPtr<ITypeInfo> current = info;
    for (int depth = 0;; ++depth) {
        unique_type_attr attributes;
        if (FAILED(current->GetTypeAttr(attributes.put(current.Get()))) || attributes->cImplTypes == 0) {
            return true;  // an end, or a base the reader cannot reach either
        }
        if (depth == deepest_inheritance) return false;
        HREFTYPE reference = 0;
        ComPtr<ITypeInfo> base;
        if (FAILED(current->GetRefTypeOfImplType(0, &reference)) ||
            FAILED(current->GetRefTypeInfo(reference, base.GetAddressOf()))) {
            return true;
        }
        current = base;
    }
}

// Puts a list at the end of the list whose last slot tail is, and moves tail
// to the new end.
template <typename Record>
void append_list(Record **&tail, record_list<Record> &list) noexcept {
    *tail = list.release();
    while (*tail != nullptr) tail = &(*tail)->next;
}

// The classInfo of a registered coclass with the members of every interface
// it implements, in implementation order, each member with its own
// interface's IID; an unregistered coclass contributes nothing. False when
// an implemented interface's inheritance is unbounded.
bool describe_coclass(ITypeInfo *coclass, const TYPEATTR &attributes, classInfo **&class_slot,
                      interface_records &interfaces, registration_cache &cache) noexcept {
    const HRESULT read = read_class_registration(attributes.guid, class_slot, &cache);
    if (read != S_OK) {
        // Not registered is the ordinary case of a coclass left out.
        if (read != HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) {
            report_query_failure(read, "coclass %s left out: its registration cannot be read",
                                 make_guid_text(attributes.guid).c_str());
        }
        return true;
    }
    classInfo &record = **class_slot;
    class_slot = &record.next;
    methodInfo **methods = &record.methods;
    methodInfo **events = &record.events;
    propertyInfo **properties = &record.properties;
    for (UINT index = 0; index < attributes.cImplTypes; ++index) {
        INT flags = 0;
        coclass->GetImplTypeFlags(index, &flags);
        HREFTYPE reference = 0;
        ComPtr<ITypeInfo> implemented;
        unique_type_attr implemented_attributes;
        if (FAILED(coclass->GetRefTypeOfImplType(index, &reference)) ||
            FAILED(coclass->GetRefTypeInfo(reference, implemented.GetAddressOf())) ||
            FAILED(implemented->GetTypeAttr(implemented_attributes.put(implemented.Get())))) {
            continue;
        }
        if (!is_interface_kind(implemented_attributes->typekind)) continue;
        if (!inheritance_is_bounded(implemented.Get())) return false;
        interfaces.ensure(implemented_attributes->guid);
        record_list<methodInfo> walked_methods;
        record_list<propertyInfo> walked_properties;
        const bool source = (flags & IMPLTYPEFLAG_FSOURCE) != 0;
        walk_interface(implemented.Get(), *implemented_attributes, walked_methods.slot(),
                       source ? nullptr : walked_properties.slot());
        append_list(source ? events : methods, walked_methods);
        append_list(properties, walked_properties);
    }
    return true;
}

// Type library paths come from the registry and are used as they are only
// when absolute: a bare or relative name would be searched for.
bool is_absolute_path(const wchar_t *path) noexcept {
    const bool drive = ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) &&
                       path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
    const bool unc = (path[0] == L'\\' || path[0] == L'/') && (path[1] == L'\\' || path[1] == L'/');
    return drive || unc;
}

}  // namespace

reduced_type reduce_type(const TYPEDESC &description) noexcept {
    // No real type comes near this many pointer levels: a longer chain is a
    // cycle in a damaged file, and counts as a pointer without a target.
    constexpr int deepest_pointer = 64;
    const TYPEDESC *current = &description;
    int levels = 0;
    while (current->vt == VT_PTR && current->lptdesc != nullptr) {
        if (levels == deepest_pointer) return {VT_PTR, 0};
        ++levels;
        current = current->lptdesc;
    }
    return {current->vt, levels};
}

HRESULT walk_methods(ITypeInfo *info, methodInfo **slot) noexcept {
    if (slot == nullptr) return E_INVALIDARG;
    return walk_interface(info, slot, nullptr).methods;
}

HRESULT walk_properties(ITypeInfo *info, propertyInfo **slot) noexcept {
    if (slot == nullptr) return E_INVALIDARG;
    return walk_interface(info, nullptr, slot).properties;
}

HRESULT load_type_library_info(const char *path, componentInfo *component, registration_cache *cache) noexcept {
    if (path == nullptr || component == nullptr) return E_INVALIDARG;
    // The path is text in the process code page, as the registry gave it;
    // empty text, or bytes that are no text in the code page, name no file.
    std::wstring wide_path;
    try {
        if (*path == '\0' || !widen(path, std::strlen(path), wide_path, invalid_bytes::refused)) {
            report_query_failure(E_FAIL, "type library \"%s\": no text in the process code page", path);
            return E_FAIL;
        }
    } catch (const std::bad_alloc &) {
        report_query_failure(E_OUTOFMEMORY, "type library \"%s\": no memory for its wide path", path);
        return E_OUTOFMEMORY;
    }
    if (!is_absolute_path(wide_path.c_str())) {
        report_query_failure(E_FAIL, "type library \"%s\": not an absolute path, not loaded", path);
        return E_FAIL;
    }

    ComPtr<ITypeLib> library;
    HRESULT status = ::LoadTypeLibEx(wide_path.c_str(), REGKIND_NONE, library.GetAddressOf());
    if (FAILED(status)) {
        report_query_failure(status, "type library \"%s\" does not load", path);
        return status;
    }
    unique_tlib_attr library_attributes;
    status = library->GetLibAttr(library_attributes.put(library.Get()));
    if (FAILED(status)) {
        report_query_failure(status, "type library \"%s\": its attributes cannot be read", path);
        return status;
    }

    // Built aside, so that a refused library leaves the record as it was.
    record_list<classInfo> classes;
    record_list<interfaceInfo> interface_list;
    registration_cache own_cache;
    registration_cache &registrations = cache != nullptr ? *cache : own_cache;
    classInfo **class_slot = classes.slot();
    interface_records interfaces(interface_list.slot(), registrations);
    const UINT count = library->GetTypeInfoCount();
    for (UINT index = 0; index < count; ++index) {
        ComPtr<ITypeInfo> info;
        unique_type_attr attributes;
        if (FAILED(library->GetTypeInfo(index, info.GetAddressOf())) ||
            FAILED(info->GetTypeAttr(attributes.put(info.Get())))) {
            continue;
        }
        const bool bounded = attributes->typekind == TKIND_COCLASS
                                 ? describe_coclass(info.Get(), *attributes, class_slot, interfaces, registrations)
                                 : !is_interface_kind(attributes->typekind) || inheritance_is_bounded(info.Get());
        if (!bounded) {
            report_query_failure(E_FAIL, "type library \"%s\" refused: an inheritance is a cycle or deeper than %d",
                                 path, deepest_inheritance);
            return E_FAIL;
        }
        if (is_interface_kind(attributes->typekind)) interfaces.ensure(attributes->guid);
    }
    release_records(&component->classes);
    release_records(&component->interfaces);
    component->classes = classes.release();
    component->interfaces = interface_list.release();
    component->major_version = library_attributes->wMajorVerNum;
    component->minor_version = library_attributes->wMinorVerNum;
    return status;
}

}  // namespace tvc
