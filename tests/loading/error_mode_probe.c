/* Records the thread's error mode at the moment the loader attaches it. */
#include <windows.h>

static DWORD mode_at_attach = 0xFFFFFFFFu;

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
    (void)module;
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) mode_at_attach = GetThreadErrorMode();
    return TRUE;
}

__declspec(dllexport) DWORD loader_error_mode_at_attach(void) { return mode_at_attach; }
