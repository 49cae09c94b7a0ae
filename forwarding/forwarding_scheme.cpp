// The one export of the forwarding layer that needs no runtime library.
#include "tvcvrtrt/runtime.h"

#include <cstring>

// Source first, destination second: the reverse of memcpy, as callers of the
// runtime are used to.
extern "C" void *memcpy_proxy(const void *source, void *destination, size_t length) {
    return std::memcpy(destination, source, length);
}
