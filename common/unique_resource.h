// Errors: nothing in common/ throws but std::bad_alloc; a failure is the result (false, empty, a Win32 code, an HRESULT).
// Owners for handles and memory that the platform hands out, in the manner of
// std::unique_ptr: one template, one alias per kind of resource.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <utility>

namespace tvc {

// Owns one value of type T that Close releases; Invalid marks "owns nothing".
template <typename T, void (*Close)(T), T Invalid = T{}>
class unique_resource {
public:
    unique_resource() noexcept = default;
    explicit unique_resource(T value) noexcept : value_(value) {}
    unique_resource(const unique_resource &) = delete;
    unique_resource &operator=(const unique_resource &) = delete;
    unique_resource(unique_resource &&other) noexcept : value_(other.release()) {}
    unique_resource &operator=(unique_resource &&other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~unique_resource() { reset(); }

    T get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != Invalid; }

    // For out-parameters: releases what is owned and hands out the slot.
    T *put() noexcept {
        reset();
        return &value_;
    }

    T release() noexcept { return std::exchange(value_, Invalid); }

    void reset(T value = Invalid) noexcept {
        T old = std::exchange(value_, value);
        if (old != Invalid) Close(old);
    }

private:
    T value_ = Invalid;
};

namespace detail {
inline void close_hkey(HKEY key) { ::RegCloseKey(key); }
inline void free_task_memory(wchar_t *text) { ::CoTaskMemFree(text); }
inline void free_bstr(BSTR text) { ::SysFreeString(text); }
inline void free_local_memory(char *text) { ::LocalFree(text); }
inline void close_handle(HANDLE handle) { ::CloseHandle(handle); }
inline void uninitialize_com(bool) { ::CoUninitialize(); }
}  // namespace detail

using unique_hkey = unique_resource<HKEY, detail::close_hkey>;
using unique_cotaskmem_string = unique_resource<wchar_t *, detail::free_task_memory>;
using unique_bstr = unique_resource<BSTR, detail::free_bstr>;
// Text the system allocated for us with LocalAlloc (FormatMessageA and kin).
using unique_local_string = unique_resource<char *, detail::free_local_memory>;
// Kernel object handles that are null when absent (not INVALID_HANDLE_VALUE).
using unique_handle = unique_resource<HANDLE, detail::close_handle>;
// A CoInitialize made on a caller's behalf: true while it is to be undone.
using unique_com_initialization = unique_resource<bool, detail::uninitialize_com>;

// Owns a structure that a COM object lends out and takes back through one of
// its own methods (TYPEATTR, FUNCDESC, TLIBATTR): remembers the lender and
// holds a reference on it, so the structure is always given back to the
// object it came from, and never after that object is gone.
template <typename Source, typename Data, auto GiveBack>
class unique_lent_data {
public:
    unique_lent_data() noexcept = default;
    unique_lent_data(const unique_lent_data &) = delete;
    unique_lent_data &operator=(const unique_lent_data &) = delete;
    ~unique_lent_data() { reset(); }

    // For the lender's out-parameter: gives back what is owned first.
    Data **put(Source *lender) noexcept {
        reset();
        lender->AddRef();
        lender_ = lender;
        return &data_;
    }

    void reset() noexcept {
        if (data_ != nullptr) (lender_->*GiveBack)(data_);
        if (lender_ != nullptr) lender_->Release();
        data_ = nullptr;
        lender_ = nullptr;
    }

    explicit operator bool() const noexcept { return data_ != nullptr; }
    const Data *get() const noexcept { return data_; }
    const Data *operator->() const noexcept { return data_; }
    const Data &operator*() const noexcept { return *data_; }

private:
    Source *lender_ = nullptr;
    Data *data_ = nullptr;
};

using unique_tlib_attr = unique_lent_data<ITypeLib, TLIBATTR, &ITypeLib::ReleaseTLibAttr>;
using unique_type_attr = unique_lent_data<ITypeInfo, TYPEATTR, &ITypeInfo::ReleaseTypeAttr>;
using unique_func_desc = unique_lent_data<ITypeInfo, FUNCDESC, &ITypeInfo::ReleaseFuncDesc>;

}  // namespace tvc
