// The formatting of a trace line.
#include "call_trace/trace_line.h"

#include "call_trace/program_state.h"
#include "call_trace/trace_output.h"

#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace tvc::trace {

namespace {

// Up to capacity bytes of the NUL-terminated text at address, without the
// NUL, read through the system, which fails cleanly where touching the
// address would fault; a page at a time, since a read fails as a whole.
// The length read, or -1 when some byte before the NUL or the end of the
// capacity cannot be read.
long long read_text(const char *address, char *bytes, std::size_t capacity) noexcept {
    constexpr std::uintptr_t page = 4096;
    std::size_t length = 0;
    while (length < capacity) {
        const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(address) + length;
        const std::size_t chunk = std::min<std::size_t>(capacity - length, page - at % page);
        SIZE_T read = 0;
        if (!::ReadProcessMemory(::GetCurrentProcess(), address + length, bytes + length, chunk, &read) ||
            read != chunk) {
            return -1;
        }
        const void *end = std::memchr(bytes + length, '\0', chunk);
        if (end != nullptr) return static_cast<const char *>(end) - bytes;
        length += chunk;
    }
    return static_cast<long long>(length);
}

}  // namespace

[[gnu::noinline]] trace_line::trace_line(const char *export_name) noexcept { append("%s(", export_name); }

[[gnu::noinline]] trace_line::~trace_line() {
    if (written_) return;
    const program_state kept;
    close("exception", now());
}

long long trace_line::now() noexcept { return ticks_now(); }

void trace_line::start() noexcept { start_ = ticks_now(); }

[[gnu::noinline]] void trace_line::close(const char *result, long long stop) noexcept {
    append(") = %s", result);
    write(stop);
}

// The thread and the start go in front of the text formatted so far, in
// the room kept for them, so that the line is still one write.
[[gnu::noinline]] void trace_line::write(long long stop) noexcept {
    // A line cut short keeps room for its time, so it still parses.
    constexpr std::size_t time_room = 40;
    if (length_ > sizeof text_ - time_room) length_ = sizeof text_ - time_room;
    const long long start = nanoseconds_since_header(start_);
    const long long duration = nanoseconds_since_header(stop) - start;
    append(" %lld.%03lldus\n", duration / 1000, duration % 1000);
    char head[head_room + 1];
    const int head_length = std::snprintf(head, sizeof head, "%lu %lld.%03lld ", ::GetCurrentThreadId(),
                                          start / 1000, start % 1000);
    const std::size_t used = head_length > 0 ? static_cast<std::size_t>(head_length) : 0;
    std::memcpy(text_ + head_room - used, head, used);
    write_whole(text_ + head_room - used, length_ - head_room + used);
    written_ = true;
}

void trace_line::append(const char *format, ...) noexcept {
    va_list values;
    va_start(values, format);
    const int added = std::vsnprintf(text_ + length_, sizeof text_ - length_, format, values);
    va_end(values);
    if (added > 0) length_ += static_cast<std::size_t>(added);
    if (length_ >= sizeof text_) length_ = sizeof text_ - 1;
}

void trace_line::text(const void *value) noexcept {
    append("0x%llx", static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(value)));
}

// Text quoted, with quotes, backslashes and control characters escaped,
// cut after its first 64 bytes with "..." after the closing quote; a
// pointer that cannot be read as its address.
[[gnu::noinline]] void trace_line::text(const char *value) noexcept {
    constexpr std::size_t shown = 64;
    char bytes[shown + 1];
    const long long length = read_text(value, bytes, sizeof bytes);
    if (length < 0) return text(static_cast<const void *>(value));
    static const char hex[] = "0123456789abcdef";
    char quoted[shown * 4 + 8];
    std::size_t used = 0;
    quoted[used++] = '"';
    for (long long index = 0; index < std::min<long long>(length, shown); ++index) {
        const unsigned char ch = static_cast<unsigned char>(bytes[index]);
        const char escape = ch == '"' ? '"' : ch == '\\' ? '\\' : ch == '\n' ? 'n' : ch == '\r' ? 'r' : ch == '\t' ? 't' : 0;
        if (escape != 0) {
            quoted[used++] = '\\';
            quoted[used++] = escape;
        } else if (ch < 0x20 || ch == 0x7F) {
            quoted[used++] = '\\';
            quoted[used++] = 'x';
            quoted[used++] = hex[ch >> 4];
            quoted[used++] = hex[ch & 15];
        } else {
            quoted[used++] = static_cast<char>(ch);
        }
    }
    quoted[used++] = '"';
    append("%.*s%s", static_cast<int>(used), quoted, length > static_cast<long long>(shown) ? "..." : "");
}

void trace_line::text(std::size_t value) noexcept { append("%llu", static_cast<unsigned long long>(value)); }
void trace_line::text(std::int32_t value) noexcept { append("%d", value); }
void trace_line::text(std::uint16_t value) noexcept { append("%u", static_cast<unsigned>(value)); }
void trace_line::text(std::uint8_t value) noexcept { append("%u", static_cast<unsigned>(value)); }
void trace_line::text(bool value) noexcept { append("%s", value ? "true" : "false"); }
// Enough digits to give back the exact value.
void trace_line::text(double value) noexcept { append("%.17g", value); }
void trace_line::text(float value) noexcept { append("%.9g", static_cast<double>(value)); }
void trace_line::text(const tvcOutputHandler &record) noexcept {
    append("{0x%llx, 0x%llx}", static_cast<unsigned long long>(record.words[0]),
           static_cast<unsigned long long>(record.words[1]));
}

}  // namespace tvc::trace
