// The formatting of a trace line.
#include "call_trace/trace_line.h"

#include "call_trace/program_state.h"
#include "call_trace/trace_format.h"
#include "call_trace/trace_output.h"

#include <windows.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
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

[[gnu::noinline]] trace_line::trace_line(const char *export_name) noexcept {
    append(export_name);
    append(std::string_view(&tvc_trace::arguments_open, 1));
}

[[gnu::noinline]] trace_line::~trace_line() {
    if (written_) return;
    const program_state kept;
    close(tvc_trace::exception_result.data(), now());
}

long long trace_line::now() noexcept { return ticks_now(); }

void trace_line::start() noexcept { start_ = ticks_now(); }

[[gnu::noinline]] void trace_line::close(const char *result, long long stop) noexcept {
    append(tvc_trace::result_separator);
    append(result);
    write(stop);
}

namespace {

// "<whole>.<three decimals>" of a count of nanoseconds as microseconds.
char *microseconds(char *at, char *end, long long nanoseconds) noexcept {
    if (nanoseconds < 0) nanoseconds = 0;  // a counter that went back
    at = std::to_chars(at, end, nanoseconds / 1000).ptr;
    const int thousandths = static_cast<int>(nanoseconds % 1000);
    if (end - at >= 4) {
        *at++ = '.';
        *at++ = static_cast<char>('0' + thousandths / 100);
        *at++ = static_cast<char>('0' + thousandths / 10 % 10);
        *at++ = static_cast<char>('0' + thousandths % 10);
    }
    return at;
}

}  // namespace

// The thread and the start go in front of the text formatted so far, in
// the room kept for them, so that the line is still one write.
[[gnu::noinline]] void trace_line::write(long long stop) noexcept {
    // A line cut short keeps room for its time, so it still parses.
    constexpr std::size_t time_room = 40;
    if (length_ > sizeof text_ - time_room) length_ = sizeof text_ - time_room;
    const long long start = nanoseconds_since_header(start_);
    const long long duration = nanoseconds_since_header(stop) - start;
    append(std::string_view(&tvc_trace::field_separator, 1));
    char *const end = text_ + sizeof text_;
    char *at = microseconds(text_ + length_, end - 1, duration);
    length_ = static_cast<std::size_t>(at - text_);
    append(tvc_trace::duration_unit);
    append("\n");
    char head[head_room];
    at = std::to_chars(head, head + sizeof head, static_cast<unsigned long>(::GetCurrentThreadId())).ptr;
    *at++ = tvc_trace::field_separator;
    at = microseconds(at, head + sizeof head - 1, start);
    *at++ = tvc_trace::field_separator;
    const std::size_t used = static_cast<std::size_t>(at - head);
    std::memcpy(text_ + head_room - used, head, used);
    write_whole(text_ + head_room - used, length_ - head_room + used);
    written_ = true;
}

void trace_line::append(const char *text, std::size_t length) noexcept {
    // One byte stays free, as a line cut short has no end of its own.
    const std::size_t room = sizeof text_ - 1 - length_;
    if (length > room) length = room;
    // Most pieces are a few bytes: copied here, not by a call into the C
    // runtime's memcpy, which costs more than the copy.
    char *const to = text_ + length_;
    if (length <= 32) {
        for (std::size_t index = 0; index < length; ++index) to[index] = text[index];
    } else {
        std::memcpy(to, text, length);
    }
    length_ += length;
}

void trace_line::append(const char *text) noexcept { append(text, __builtin_strlen(text)); }

void trace_line::append_decimal(unsigned long long value) noexcept {
    char digits[24];
    append(digits, static_cast<std::size_t>(std::to_chars(digits, digits + sizeof digits, value).ptr - digits));
}

void trace_line::append_hex(unsigned long long value) noexcept {
    char digits[24] = {'0', 'x'};
    append(digits, static_cast<std::size_t>(std::to_chars(digits + 2, digits + sizeof digits, value, 16).ptr - digits));
}

void trace_line::text(const void *value) noexcept { append_hex(reinterpret_cast<std::uintptr_t>(value)); }

// Text quoted, with quotes, backslashes and control characters escaped,
// cut after its first 64 bytes with "..." after the closing quote; a
// pointer that cannot be read as its address.
[[gnu::noinline]] void trace_line::text(const char *value) noexcept {
    constexpr std::size_t shown = 64;
    char bytes[shown + 1];
    long long length;
    {
        const kept_last_error kept;
        length = read_text(value, bytes, sizeof bytes);
    }
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
    append(quoted, used);
    if (length > static_cast<long long>(shown)) append(tvc_trace::more_arguments);
}

void trace_line::text(std::size_t value) noexcept { append_decimal(value); }
void trace_line::text(std::int32_t value) noexcept {
    if (value < 0) append("-");
    append_decimal(value < 0 ? 0ull - static_cast<unsigned long long>(static_cast<long long>(value))
                             : static_cast<unsigned long long>(value));
}
void trace_line::text(std::uint16_t value) noexcept { append_decimal(value); }
void trace_line::text(std::uint8_t value) noexcept { append_decimal(value); }
void trace_line::text(bool value) noexcept { append(value ? "true" : "false"); }
// The shortest text that reads back as exactly the value.
void trace_line::text(double value) noexcept {
    const kept_floating_point kept;
    char digits[40];
    append(digits, static_cast<std::size_t>(std::to_chars(digits, digits + sizeof digits, value).ptr - digits));
}
void trace_line::text(float value) noexcept {
    const kept_floating_point kept;
    char digits[40];
    append(digits, static_cast<std::size_t>(std::to_chars(digits, digits + sizeof digits, value).ptr - digits));
}
void trace_line::text(const tvcOutputHandler &record) noexcept {
    append("{");
    append_hex(record.words[0]);
    append(", ");
    append_hex(record.words[1]);
    append("}");
}

}  // namespace tvc::trace
