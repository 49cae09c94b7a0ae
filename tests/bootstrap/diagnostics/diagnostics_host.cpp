// Performs the calls named on its command line, in order, and reports on
// standard output (binary mode, so line ends are exactly what was written):
//   start:<mode>         start message with a callback that prints "callback <n>"
//                        (n: the command's position, passed as user data)
//   start-silent:<mode>  start message without a callback
//   load:<path>          LoadLibraryA(path); exit code 3 on failure
//   print:<text>         tvcvrtrtPrintMessage(text), then "[<result>]"
//   print-null           tvcvrtrtPrintMessage(nullptr), then "[<result>]"
//   bx-report            "bx <calls> <formats>\n" from the loaded libbx.dll stand-in
//   raw:<text>           text written straight to the standard output handle,
//                        past the C runtime's buffer, as an application with a
//                        C runtime of its own writes
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tvcvrtrt7_17.h"

namespace {

void report_callback(void *user_data) {
    std::printf("callback %d\n", static_cast<int>(reinterpret_cast<std::intptr_t>(user_data)));
}

bool starts_with(const char *text, const char *prefix, const char **rest) {
    const std::size_t length = std::strlen(prefix);
    if (std::strncmp(text, prefix, length) != 0) return false;
    *rest = text + length;
    return true;
}

template <typename Function>
Function bx_function(const char *name) {
    HMODULE bx = ::GetModuleHandleA("libbx.dll");
    return bx ? reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(bx, name)))
              : nullptr;
}

}  // namespace

int main(int argc, char **argv) {
    ::_setmode(::_fileno(stdout), _O_BINARY);
    for (int index = 1; index < argc; ++index) {
        const char *argument = nullptr;
        void *position = reinterpret_cast<void *>(static_cast<std::intptr_t>(index));
        if (starts_with(argv[index], "start:", &argument)) {
            tvcDisplayStartMessage_proxy(std::atoi(argument), report_callback, position);
        } else if (starts_with(argv[index], "start-silent:", &argument)) {
            tvcDisplayStartMessage_proxy(std::atoi(argument), nullptr, position);
        } else if (starts_with(argv[index], "load:", &argument)) {
            if (!::LoadLibraryA(argument)) return 3;
        } else if (starts_with(argv[index], "print:", &argument)) {
            const int result = tvcvrtrtPrintMessage(argument);
            std::printf("[%d]", result);
        } else if (std::strcmp(argv[index], "print-null") == 0) {
            const int result = tvcvrtrtPrintMessage(nullptr);
            std::printf("[%d]", result);
        } else if (starts_with(argv[index], "raw:", &argument)) {
            DWORD written = 0;
            ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), argument,
                        static_cast<DWORD>(std::strlen(argument)), &written, nullptr);
        } else if (std::strcmp(argv[index], "bx-report") == 0) {
            auto calls = bx_function<int (*)()>("bx_call_count");
            auto formats = bx_function<const char *(*)()>("bx_received_formats");
            if (!calls || !formats) return 4;
            std::printf("bx %d %s\n", calls(), formats());
        } else {
            return 2;
        }
    }
    std::fflush(stdout);
    return 0;
}
