// A fresh process for one attach: loads the DLL named on the command line as
// an application would, then reports the outcome and the PATH the attach
// left behind. Afterwards it starts and ends a thread and unloads the DLL, so
// that the remaining notifications reach the entry point too.
#include "common/unique_resource.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>

namespace {

DWORD WINAPI do_nothing(LPVOID) { return 0; }

}  // namespace

// Wide arguments: a DLL path past the narrow functions' limit still loads.
int wmain(int argc, wchar_t **argv) {
    if (argc != 2) return 2;
    // The DLL shares this stdout; binary mode keeps its output byte for byte.
    _setmode(_fileno(stdout), _O_BINARY);

    HMODULE dll = LoadLibraryW(argv[1]);
    const DWORD error = dll != nullptr ? 0 : GetLastError();
    std::printf("loaded=%d error=%lu\n", dll != nullptr ? 1 : 0, error);
    if (const char *path = std::getenv("PATH")) {
        std::printf("PATH=%s\n", path);
    } else {
        std::printf("PATH unset\n");
    }
    std::fflush(stdout);
    if (dll == nullptr) return 0;

    tvc::unique_handle thread(CreateThread(nullptr, 0, do_nothing, nullptr, 0, nullptr));
    if (!thread) return 3;
    WaitForSingleObject(thread.get(), INFINITE);
    FreeLibrary(dll);
    std::printf("unloaded\n");
    std::fflush(stdout);
    return 0;
}
