// libbx.dll of the reference runtime: the runtime's printer. Not part of any
// binding table; the front library only looks it up when it is loaded.
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <vector>

namespace {

// Whether the next character printed starts a line: a line written in
// several calls is marked once. Shared by the process's threads.
bool at_line_start = true;
std::mutex printer;

}  // namespace

// A printf format, as the runtime's printer takes one; the prefix at the
// start of each line shows which printer the line went through.
extern "C" __declspec(dllexport) int bxPrintf(const char *format, ...) {
    if (format == nullptr) return 0;
    std::va_list arguments;
    va_start(arguments, format);
    std::va_list measuring;
    va_copy(measuring, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, measuring);
    va_end(measuring);
    std::vector<char> text(length < 0 ? 1 : static_cast<std::size_t>(length) + 1);
    if (length >= 0) std::vsnprintf(text.data(), text.size(), format, arguments);
    va_end(arguments);
    if (length < 0) return length;
    constexpr char prefix[] = "[libbx] ";
    int written = 0;
    const std::lock_guard<std::mutex> lock(printer);
    for (int index = 0; index < length; ++index) {
        if (at_line_start) written += std::fputs(prefix, stdout) < 0 ? 0 : static_cast<int>(sizeof prefix - 1);
        std::fputc(text[static_cast<std::size_t>(index)], stdout);
        ++written;
        at_line_start = text[static_cast<std::size_t>(index)] == '\n';
    }
    std::fflush(stdout);
    return written;
}
