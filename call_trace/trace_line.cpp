// The formatting of a trace line.
#include "call_trace/trace_line.h"

#include "call_trace/byte_copy.h"
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
// NUL, read where the system says that the memory is committed and readable
// and has no guard, so that a bad address is never touched: asked once for
// each run of pages alike, usually once for a text (0.9 us under Wine, where
// ReadProcessMemory on the process itself costs 29 us). A view of a file is
// read through ReadProcessMemory all the same, since its file can shrink
// under it. What the check cannot cover is another thread of the program
// freeing the text while the call that it was passed to is being traced.
// The length read, or -1 when some byte before the NUL or the end of the
// capacity cannot be read.
long long read_text(const char *address, char *bytes, std::size_t capacity) noexcept {
    constexpr DWORD readable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                               PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    std::size_t length = 0;
    while (length < capacity) {
        MEMORY_BASIC_INFORMATION pages;
        if (::VirtualQuery(address + length, &pages, sizeof pages) != sizeof pages || pages.State != MEM_COMMIT ||
            (pages.Protect & readable) == 0 || (pages.Protect & (PAGE_GUARD | PAGE_NOACCESS)) != 0) {
            return -1;
        }
        const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(address) + length;
        const std::uintptr_t end = reinterpret_cast<std::uintptr_t>(pages.BaseAddress) + pages.RegionSize;
        const std::size_t chunk = std::min<std::size_t>(capacity - length, end - at);
        if (pages.Type == MEM_MAPPED) {
            SIZE_T read = 0;
            if (!::ReadProcessMemory(::GetCurrentProcess(), address + length, bytes + length, chunk, &read) ||
                read != chunk) {
                return -1;
            }
            const void *const nul = std::memchr(bytes + length, '\0', chunk);
            if (nul != nullptr) return static_cast<const char *>(nul) - bytes;
            length += chunk;
            continue;
        }
        for (std::size_t index = 0; index < chunk; ++index) {
            bytes[length] = address[length];
            if (bytes[length] == '\0') return static_cast<long long>(length);
            ++length;
        }
    }
    return static_cast<long long>(length);
}

}  // namespace

// The separators are written whole into the slack.
static_assert(tvc_trace::argument_separator.size() + tvc_trace::more_arguments.size() <= 16 &&
                  tvc_trace::result_separator.size() <= 16 && tvc_trace::duration_unit.size() + 1 <= 16,
              "a separator fits in the slack");

[[gnu::noinline]] trace_line::trace_line(const char *export_name) noexcept {
    append(export_name, __builtin_strlen(export_name));
    literal(std::string_view(&tvc_trace::arguments_open, 1));
}

void trace_line::left_by_unwind(DWORD code) noexcept {
    if (code == EXCEPTION_STACK_OVERFLOW || line_writer() == ::GetCurrentThreadId()) return;
    const program_state kept;
    close(tvc_trace::exception_result.data(), now());
}

long long trace_line::now() noexcept { return ticks_now(); }

void trace_line::start() noexcept { start_ = ticks_now(); }

[[gnu::noinline]] void trace_line::close(const char *result, long long stop) noexcept {
    literal(tvc_trace::result_separator);
    append(result, __builtin_strlen(result));
    write(stop);
}

namespace {

// At most 20 digits.
char *decimal(char *at, unsigned long long value) noexcept { return std::to_chars(at, at + 20, value).ptr; }

// "<whole>.<three decimals>" of a count of nanoseconds as microseconds; at
// most 24 bytes.
char *microseconds(char *at, long long nanoseconds) noexcept {
    if (nanoseconds < 0) nanoseconds = 0;  // a counter that went back
    at = decimal(at, static_cast<unsigned long long>(nanoseconds / 1000));
    const unsigned thousandths = static_cast<unsigned>(nanoseconds % 1000);
    at[0] = '.';
    at[1] = static_cast<char>('0' + thousandths / 100);
    at[2] = static_cast<char>('0' + thousandths / 10 % 10);
    at[3] = static_cast<char>('0' + thousandths % 10);
    return at + 4;
}

// "0x" and the digits, two at a time from a table; at most 18 bytes.
char *hexadecimal(char *at, unsigned long long value) noexcept {
    static constexpr char pairs[] =
        "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f"
        "202122232425262728292a2b2c2d2e2f303132333435363738393a3b3c3d3e3f"
        "404142434445464748494a4b4c4d4e4f505152535455565758595a5b5c5d5e5f"
        "606162636465666768696a6b6c6d6e6f707172737475767778797a7b7c7d7e7f"
        "808182838485868788898a8b8c8d8e8f909192939495969798999a9b9c9d9e9f"
        "a0a1a2a3a4a5a6a7a8a9aaabacadaeafb0b1b2b3b4b5b6b7b8b9babbbcbdbebf"
        "c0c1c2c3c4c5c6c7c8c9cacbcccdcecfd0d1d2d3d4d5d6d7d8d9dadbdcdddedf"
        "e0e1e2e3e4e5e6e7e8e9eaebecedeeeff0f1f2f3f4f5f6f7f8f9fafbfcfdfeff";
    at[0] = '0';
    at[1] = 'x';
    const int digits = value == 0 ? 1 : (67 - __builtin_clzll(value)) / 4;
    char *const end = at + 2 + digits;
    char *to = end;
    for (; value >= 0x100; value >>= 8) {
        to -= 2;
        __builtin_memcpy(to, pairs + 2 * (value & 0xFF), 2);
    }
    if (value >= 0x10) {
        __builtin_memcpy(to - 2, pairs + 2 * value, 2);
    } else {
        to[-1] = pairs[2 * value + 1];
    }
    return end;
}

}  // namespace

// The thread and the start go in front of the text formatted so far, in
// the room kept for them, so that the line is still one write.
[[gnu::noinline]] void trace_line::write(long long stop) noexcept {
    // A line cut short keeps room for its time, so it still parses.
    constexpr std::size_t time_room = 40;
    if (length_ > line_limit - time_room) length_ = line_limit - time_room;
    const long long start = nanoseconds_since_header(start_);
    const long long duration = nanoseconds_since_header(stop) - start;
    char *at = text_ + length_;
    *at++ = tvc_trace::field_separator;
    at = microseconds(at, duration);
    __builtin_memcpy(at, tvc_trace::duration_unit.data(), tvc_trace::duration_unit.size());
    at += tvc_trace::duration_unit.size();
    *at++ = '\n';
    length_ = static_cast<std::size_t>(at - text_);
    // Formatted after head_room bytes of nothing, then those before the
    // head's end copied as one block: the head lands right before the text.
    char head[2 * head_room] = {};
    at = decimal(head + head_room, ::GetCurrentThreadId());
    *at++ = tvc_trace::field_separator;
    at = microseconds(at, start);
    *at++ = tvc_trace::field_separator;
    __builtin_memcpy(text_, at - head_room, head_room);
    const std::size_t used = static_cast<std::size_t>(at - (head + head_room));
    write_whole(text_ + head_room - used, length_ - head_room + used);
}

void trace_line::append(const char *text, std::size_t length) noexcept {
    if (length > line_limit - length_) length = line_limit - length_;
    copy_bytes(text_ + length_, text, length);
    length_ += length;
}

void trace_line::append_decimal(unsigned long long value) noexcept {
    advance(static_cast<std::size_t>(decimal(text_ + length_, value) - (text_ + length_)));
}

void trace_line::append_hex(unsigned long long value) noexcept {
    advance(static_cast<std::size_t>(hexadecimal(text_ + length_, value) - (text_ + length_)));
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
    if (length > static_cast<long long>(shown)) literal(tvc_trace::more_arguments);
}

void trace_line::text(std::size_t value) noexcept { append_decimal(value); }
void trace_line::text(std::int32_t value) noexcept {
    if (value < 0) literal("-");
    append_decimal(value < 0 ? 0ull - static_cast<unsigned long long>(static_cast<long long>(value))
                             : static_cast<unsigned long long>(value));
}
void trace_line::text(std::uint16_t value) noexcept { append_decimal(value); }
void trace_line::text(std::uint8_t value) noexcept { append_decimal(value); }
void trace_line::text(bool value) noexcept {
    __builtin_memcpy(text_ + length_, value ? "true" : "false", 5);
    advance(value ? 4 : 5);
}
// The shortest text that reads back as exactly the value.
void trace_line::text(double value) noexcept {
    const kept_floating_point kept;
    advance(static_cast<std::size_t>(std::to_chars(text_ + length_, text_ + length_ + slack, value).ptr - (text_ + length_)));
}
void trace_line::text(float value) noexcept {
    const kept_floating_point kept;
    advance(static_cast<std::size_t>(std::to_chars(text_ + length_, text_ + length_ + slack, value).ptr - (text_ + length_)));
}
void trace_line::text(const tvcOutputHandler &record) noexcept {
    literal("{");
    append_hex(record.words[0]);
    literal(tvc_trace::argument_separator);
    append_hex(record.words[1]);
    literal("}");
}

}  // namespace tvc::trace
