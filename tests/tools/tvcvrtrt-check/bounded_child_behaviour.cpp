// A child for the bounded child's test: it behaves as its argument says, as
// a damaged library or type library can make a real child behave.
#include <windows.h>

#include <cstdio>
#include <cstring>

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
    if (std::strcmp(behaviour, "crash") == 0) {
        RaiseException(EXCEPTION_ACCESS_VIOLATION, 0, 0, nullptr);
    }
    if (std::strcmp(behaviour, "hang") == 0) {
        WaitForSingleObject(GetCurrentProcess(), INFINITE);
    }
    std::fputs("answer\t1\n", stdout);
    return 7;
}
