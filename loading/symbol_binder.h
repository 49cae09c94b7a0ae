// Binding a named function of a loaded library to a forwarding slot.
#pragma once

#include <windows.h>

#include <type_traits>

namespace tvc {

namespace detail {
// Records the system's text for the failed lookup and throws apiException
// naming the symbol and the module's file.
[[noreturn]] void throw_missing_symbol(HMODULE module, const char *name);
}  // namespace detail

// Looks name up in module and stores the address in slot, null included, so
// that a slot whose lookup failed never keeps a stale address. Returns the
// address; throws apiException when the name is not found.
template <typename Function>
Function bind_symbol(HMODULE module, Function &slot, const char *name) {
    static_assert(std::is_pointer_v<Function> && std::is_function_v<std::remove_pointer_t<Function>>,
                  "a forwarding slot is a pointer to a function");
    const FARPROC address = ::GetProcAddress(module, name);
    // Through void (*)(), which converts to and from every function pointer.
    slot = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
    if (!address) detail::throw_missing_symbol(module, name);
    return slot;
}

}  // namespace tvc
