// A host that has set default DLL directories, as hardened hosts do, before
// it loads the library: from then on the process searches the application's
// directory, the user directories and System32 for a library named without a
// path, never PATH.
//   dll_directories_host <dll> <sibling file name>
// Loads the DLL by its full path and initializes the runtime, then loads the
// sibling by bare name, as the runtime's own libraries do. Prints
// "init=<0|1> sibling=<0|1>" after what the library and the runtime printed.
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>

int wmain(int argc, wchar_t **argv) {
    if (argc != 3) return 2;
    _setmode(_fileno(stdout), _O_BINARY);
    if (!SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS)) return 3;
    const HMODULE dll = LoadLibraryW(argv[1]);
    if (dll == nullptr) return 4;
    const auto initialize = reinterpret_cast<bool (*)()>(
        reinterpret_cast<void (*)()>(GetProcAddress(dll, "tvcvrtInitialize_proxy")));
    if (initialize == nullptr) return 5;
    const bool initialized = initialize();
    const HMODULE sibling = LoadLibraryW(argv[2]);
    std::printf("init=%d sibling=%d\n", initialized ? 1 : 0, sibling != nullptr ? 1 : 0);
    std::fflush(stdout);
    return 0;
}
