// A fresh process for one attach: loads the DLL named on the command line as
// an application would, then reports the outcome and the PATH the attach
// left behind. Afterwards it starts and ends a thread and unloads the DLL, so
// that the remaining notifications reach the entry point too, and reports
// whether the DLL really left the process.
//   attach_host <dll> [<utilities library without printer> | --reload | --wide |
//                      --acquire-then-unload]
// With a library as second argument, that library is loaded and the print
// routine is called on several threads and on this one first, so that each
// fails to find the printer and keeps the system's text for it. With
// --reload the DLL is loaded once more after it left, and PATH reported again;
// with --wide PATH is also reported in wide characters, as UTF-8; with
// --acquire-then-unload it takes the API lock before the runtime is bound,
// then frees the DLL.
#include "common/unique_resource.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <fcntl.h>
#include <io.h>

namespace {

void print_path() {
    if (const char *path = std::getenv("PATH")) {
        std::printf("PATH=%s\n", path);
    } else {
        std::printf("PATH unset\n");
    }
    std::fflush(stdout);
}

std::string utf8(const wchar_t *text) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(length > 0 ? length : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &bytes[0], length, nullptr, nullptr);
    bytes.pop_back();
    return bytes;
}

// PATH as the process environment and as the C runtime hold it.
void print_wide_path() {
    std::wstring path(32768, L'\0');
    const DWORD length = GetEnvironmentVariableW(L"PATH", &path[0], static_cast<DWORD>(path.size()));
    path.resize(length < path.size() ? length : 0);
    const wchar_t *runtime = _wgetenv(L"PATH");
    std::printf("wide PATH=%s\nC runtime PATH=%s\n", utf8(path.c_str()).c_str(),
                runtime != nullptr ? utf8(runtime).c_str() : "(unset)");
    std::fflush(stdout);
}

DWORD WINAPI do_nothing(LPVOID) { return 0; }

using print_routine = int (*)(const char *);

DWORD WINAPI print_nothing(LPVOID print) {
    reinterpret_cast<print_routine>(print)("");
    return 0;
}

// The print routine called here and on threads that have ended when it returns.
bool print_on_several_threads(HMODULE dll, const wchar_t *utilities) {
    print_routine print = reinterpret_cast<print_routine>(
        reinterpret_cast<void (*)()>(GetProcAddress(dll, "tvcvrtrtPrintMessage")));
    if (print == nullptr || LoadLibraryW(utilities) == nullptr) return false;
    print("");
    constexpr int count = 4;
    tvc::unique_handle threads[count];
    for (tvc::unique_handle &thread : threads) {
        thread.reset(CreateThread(nullptr, 0, print_nothing, reinterpret_cast<void *>(print), 0, nullptr));
        if (!thread) return false;
    }
    for (tvc::unique_handle &thread : threads) WaitForSingleObject(thread.get(), INFINITE);
    return true;
}

}  // namespace

// Wide arguments: a DLL path past the narrow functions' limit still loads.
int wmain(int argc, wchar_t **argv) {
    if (argc != 2 && argc != 3) return 2;
    // The DLL shares this stdout; binary mode keeps its output byte for byte.
    _setmode(_fileno(stdout), _O_BINARY);
    const auto option = [&](const wchar_t *name) { return argc == 3 && std::wcscmp(argv[2], name) == 0; };

    HMODULE dll = LoadLibraryW(argv[1]);
    const DWORD error = dll != nullptr ? 0 : GetLastError();
    std::printf("loaded=%d error=%lu\n", dll != nullptr ? 1 : 0, error);
    print_path();
    const bool wide = option(L"--wide");
    if (wide) print_wide_path();
    if (dll == nullptr) return 0;

    const bool reload = option(L"--reload");
    if (option(L"--acquire-then-unload")) {
        reinterpret_cast<void (*)()>(GetProcAddress(dll, "tvcAcquireMutex_proxy"))();
    } else if (argc == 3 && !reload && !wide && !print_on_several_threads(dll, argv[2])) {
        return 4;
    }
    tvc::unique_handle thread(CreateThread(nullptr, 0, do_nothing, nullptr, 0, nullptr));
    if (!thread) return 3;
    WaitForSingleObject(thread.get(), INFINITE);
    FreeLibrary(dll);
    std::printf(GetModuleHandleW(argv[1]) == nullptr ? "unloaded\n" : "still loaded\n");
    std::fflush(stdout);
    if (reload) {
        dll = LoadLibraryW(argv[1]);
        print_path();
        if (dll != nullptr) FreeLibrary(dll);
    }
    return 0;
}
