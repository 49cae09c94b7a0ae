// The DLL's entry point, called by the C runtime's start-up code once that
// runtime is initialised.
#include "bootstrap/process_attach.h"

#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID /*reserved*/) {
    return tvc::dll_entry(module, reason);
}
