// libbx.dll of the reference runtime: the runtime's printer. Not part of any
// binding table; the front library only looks it up when it is loaded.
#include <cstdarg>
#include <cstdio>

// A printf format, as the runtime's printer takes one; the prefix shows
// which printer a line went through.
extern "C" __declspec(dllexport) int bxPrintf(const char *format, ...) {
    if (format == nullptr) return 0;
    std::va_list arguments;
    va_start(arguments, format);
    const int prefix = std::printf("[libbx] ");
    const int written = std::vprintf(format, arguments);
    va_end(arguments);
    std::fflush(stdout);
    return written < 0 ? written : prefix + written;
}
