// A child for the bounded child's test: it behaves as its argument says, as
// a damaged library or type library can make a real child behave.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "tools/tvcvrtrt-check/bounded_child.h"

int main(int argc, char **argv) {
    tvc_check::become_bounded_child();
    const char *behaviour = argc > 1 ? argv[1] : "";
    if (std::strcmp(behaviour, "allocate") == 0) {
        // Touches every page, as a reader filling a list does; where the
        // job's limit holds (Windows), the allocation fails instead.
        constexpr SIZE_T block = SIZE_T{1} << 20;
        while (void *memory = VirtualAlloc(nullptr, block, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {
            std::memset(memory, 1, block);
        }
        return 3;
    }
    if (std::strcmp(behaviour, "map") == 0) {
        // Memory of a section backed by the page file, mapped and touched:
        // not the process's private memory, but memory all the same.
        constexpr SIZE_T block = SIZE_T{16} << 20;
        for (;;) {
            const HANDLE section =
                CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, static_cast<DWORD>(block), nullptr);
            void *const view = section != nullptr ? MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, block) : nullptr;
            if (view == nullptr) return 3;
            std::memset(view, 1, block);
        }
    }
    if (std::strcmp(behaviour, "grandchild") == 0) {
        // A process of its own that allocates, while this one waits for it.
        wchar_t self[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring command = L"\"" + std::wstring(self) + L"\" allocate";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
            return 4;
        }
        WaitForSingleObject(started.hProcess, INFINITE);
        return 3;
    }
    if (std::strcmp(behaviour, "crash") == 0) {
        RaiseException(EXCEPTION_ACCESS_VIOLATION, 0, 0, nullptr);
    }
    if (std::strcmp(behaviour, "hang") == 0) {
        WaitForSingleObject(GetCurrentProcess(), INFINITE);
    }
    std::fputs("answer\t1\n", stdout);
    return 7;
}
