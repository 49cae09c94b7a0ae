/* Loads and unloads without any runtime support. */
#include <windows.h>

BOOL WINAPI tiny_module_entry(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}

__declspec(dllexport) int tiny_module_function(void) { return 1; }
