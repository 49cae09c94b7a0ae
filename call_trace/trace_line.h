// One line of the trace, formatted in place:
//   <thread id> <start> <export>(<argument>, ...) = <result> <duration>us
// and written with one append, so that lines never interleave.
#pragma once

#include "call_trace/trace_format.h"
#include "tvcvrtrt/forwarding_types.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tvc::trace {

// Written straight to the system without a buffer of our own: a crash loses
// nothing written. Out of line, so that the tracing entries stay small: each
// is little more than its calls of these.
class trace_line {
public:
    explicit trace_line(const char *export_name) noexcept;
    trace_line(const trace_line &) = delete;
    trace_line &operator=(const trace_line &) = delete;

    template <typename Argument> [[gnu::noinline]] void argument(Argument value) noexcept {
        if (argument_count_++ > 0) literal(tvc_trace::argument_separator);
        text(value);
    }
    void start(long long ticks) noexcept { start_ = ticks; }
    void start() noexcept;
    // Arguments beyond those shown may follow.
    void more_arguments() noexcept {
        literal(tvc_trace::argument_separator);
        literal(tvc_trace::more_arguments);
    }

    template <typename Result> void finish(Result result, long long stop) noexcept {
        literal(tvc_trace::result_separator);
        text(result);
        write(stop);
    }
    template <typename Result> void finish(Result result) noexcept { finish(result, now()); }
    void finish() noexcept { close("void", now()); }
    // What the line shows instead of a result.
    void finish_with(const char *what, long long stop) noexcept { close(what, stop); }
    // A call left by an unwind (an exception of either compiler, longjmp):
    // "exception" instead of a result, with the time until then. Called
    // from a frame's handler during the unwind (unwind_cleanup.h), with the
    // exception's code: nothing is written on an exhausted stack, which has
    // no room for a line, nor from inside a write of this thread's.
    void left_by_unwind(DWORD code) noexcept;

private:
    static long long now() noexcept;
    void close(const char *result, long long stop) noexcept;
    void write(long long stop) noexcept;
    // Text as it is, cut where the line ends; numbers formatted without the
    // C runtime, whose locale belongs to the program (a decimal comma would
    // read as two arguments).
    void append(const char *text, std::size_t length) noexcept;
    // One of the format's separators, at most a few bytes: inline, a store
    // or two.
    [[gnu::always_inline]] void literal(std::string_view piece) noexcept {
        __builtin_memcpy(text_ + length_, piece.data(), piece.size());
        advance(piece.size());
    }
    void advance(std::size_t written) noexcept {
        length_ += written;
        if (length_ > line_limit) length_ = line_limit;
    }
    void append_decimal(unsigned long long value) noexcept;
    void append_hex(unsigned long long value) noexcept;

    // Every value at its width; pointers and lists as addresses, never followed.
    void text(const void *value) noexcept;
    void text(char *list) noexcept { text(static_cast<const void *>(list)); }
    void text(const char *value) noexcept;
    void text(std::size_t value) noexcept;
    void text(std::int32_t value) noexcept;
    void text(std::uint16_t value) noexcept;
    void text(std::uint8_t value) noexcept;
    void text(bool value) noexcept;
    void text(double value) noexcept;
    void text(float value) noexcept;
    void text(const tvcOutputHandler &record) noexcept;

    // Room for "<thread id> <start> ": ten digits each side of the point.
    static constexpr std::size_t head_room = 40;
    // The longest line; a longer one is cut, keeping room for its time.
    static constexpr std::size_t line_limit = 1024;
    // A piece of known size (a number, a separator) is written whole past
    // the text so far, and the line cut at its limit afterwards.
    static constexpr std::size_t slack = 48;
    char text_[line_limit + slack];
    std::size_t length_ = head_room;
    int argument_count_ = 0;
    long long start_ = 0;
};

}  // namespace tvc::trace
