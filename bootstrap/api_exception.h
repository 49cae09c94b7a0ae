// The library's one exception type. Loader, binder and runtime location throw
// it with a finished, human-readable message; only the outermost entry points
// (DllMain, the initialization entry points) catch it and print the message.
// Declared in the public interface, where MinGW-w64 clients catch it.
#pragma once

#include "tvcvrtrt/api_exception.h"
