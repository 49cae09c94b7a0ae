// The lines of a call trace file (TVCVRTRT_TRACE), defined once for the
// library that writes them and the readers in tools/ that read them. Header
// only, on std::string_view alone: no allocation, no exceptions, nothing of
// either side's internals.
//
// A file holds one run per process that traced into it, each begun by a
// header line and followed by that process's call lines:
//   # pid=<process id> start=<UTC time> clock=<source>:<ticks a second> exe=<executable path>
//   <thread id> <start> <export>(<argument>, ...) = <result> <duration>us
// Fields are separated by one blank, in this order; the executable path is
// the rest of the header line (it may hold blanks). The UTC time is the wall
// clock at the header, "YYYY-MM-DDThh:mm:ss.uuuuuuZ". The clock says what the
// times were read from and how fast it ticks: "tsc" (the processor's
// time-stamp counter, its rate measured against the performance counter when
// the run started) or "qpc" (the performance counter); older headers lack it.
// The writer turns ticks into nanoseconds itself, so a reader needs the clock
// only to judge the times' resolution. <start> is the call's
// start in microseconds since its run's header and <duration> the time the
// call took, both with three decimals (whole nanoseconds). The result is the
// text after the last ") = " of the line: arguments may hold any text,
// results never hold that sequence. A call left by an exception has the
// result "exception", one without a result "void". Lines end in LF; a reader
// also takes CR LF (and more CRs before the LF) and passes over blank lines.
// Other lines that begin with "# " are notes within the run (for example
// "# dropped=<count>"), never call lines. Call lines written before runs had
// headers lack <start>: "<thread id> <export>(...) = <result> <duration>us".
// A file that a crashed or terminated process wrote into may hold zero bytes
// where a line's space was taken but never filled, and ends in zero bytes up
// to the end of the stretch it had mapped: a reader passes over zero bytes at
// the start of a line, so they end the run's lines without being counted as
// lines, and the next run, written over that tail, reads as usual. A line's
// end is written before its text, so a line that a crash cut short holds
// zero bytes before its end: a reader passes over it too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tvc_trace {

inline constexpr std::string_view header_start = "# pid=";
inline constexpr std::string_view start_key = " start=";
inline constexpr std::string_view clock_key = " clock=";
inline constexpr char clock_rate_separator = ':';
inline constexpr std::string_view time_stamp_clock = "tsc";
inline constexpr std::string_view performance_clock = "qpc";
inline constexpr std::string_view executable_key = " exe=";
inline constexpr std::string_view note_start = "# ";
inline constexpr std::string_view dropped_note = "# dropped=";
inline constexpr char field_separator = ' ';
inline constexpr char arguments_open = '(';
inline constexpr std::string_view result_separator = ") = ";
inline constexpr std::string_view argument_separator = ", ";
// Arguments that the line does not show follow.
inline constexpr std::string_view more_arguments = "...";
inline constexpr std::string_view exception_result = "exception";
inline constexpr std::string_view void_result = "void";
inline constexpr std::string_view duration_unit = "us";
inline constexpr int time_decimals = 3;
// "YYYY-MM-DDThh:mm:ss.uuuuuuZ"
inline constexpr std::size_t utc_time_length = 27;
// The longest line a reader takes: a header with an executable path of
// 32767 characters, each up to three bytes in the code page. Call lines are
// much shorter; a reader skips a longer line as one that is not in the format.
inline constexpr std::size_t longest_line = 1u << 17;
// Times of at most this many whole microseconds (31 years): their
// nanoseconds, and the sum of two of them, fit in 64 bits.
inline constexpr std::size_t longest_whole_microseconds = 15;

struct header_fields {
    std::uint32_t pid = 0;
    std::string_view started;      // the UTC time as written
    long long started_us = 0;      // the same, in microseconds since 1970-01-01
    std::string_view clock;        // "tsc" or "qpc"; empty in older headers
    long long clock_hz = 0;        // its ticks a second; 0 in older headers
    std::string_view executable;
};

struct call_fields {
    std::uint32_t thread = 0;
    bool has_start = false;  // false on lines from before runs had headers
    long long start_ns = 0;
    std::string_view export_name;
    std::string_view arguments;  // the text between the parentheses
    std::string_view result;
    long long duration_ns = 0;
};

namespace format_detail {

constexpr bool is_digit(char ch) noexcept { return ch >= '0' && ch <= '9'; }

constexpr bool all_digits(std::string_view text) noexcept {
    if (text.empty()) return false;
    for (const char ch : text)
        if (!is_digit(ch)) return false;
    return true;
}

// Digits of a number that fits in 64 bits (at most 18 of them).
constexpr long long digits_value(std::string_view text) noexcept {
    long long value = 0;
    for (const char ch : text) value = value * 10 + (ch - '0');
    return value;
}

constexpr bool is_identifier_char(char ch) noexcept {
    return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || is_digit(ch) || ch == '_';
}

// Days from 1970-01-01 to the date of the proleptic Gregorian calendar.
constexpr long long days_from_civil(long long year, unsigned month, unsigned day) noexcept {
    year -= month <= 2;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const unsigned year_of_era = static_cast<unsigned>(year - era * 400);
    const unsigned day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + static_cast<long long>(day_of_era) - 719468;
}

constexpr unsigned days_in_month(long long year, unsigned month) noexcept {
    constexpr unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

}  // namespace format_detail

// A thread or process id: decimal digits that fit in 32 bits, nothing else.
constexpr bool parse_id(std::string_view text, std::uint32_t &id) noexcept {
    if (!format_detail::all_digits(text) || text.size() > 10) return false;
    const long long value = format_detail::digits_value(text);
    if (value > 0xFFFFFFFFll) return false;
    id = static_cast<std::uint32_t>(value);
    return true;
}

// "12.345" microseconds as 12345 nanoseconds: digits with an optional
// fraction, of which three digits count. Anything else (a sign, inf, nan,
// a blank) is no time at all.
constexpr bool parse_microseconds(std::string_view text, long long &nanoseconds) noexcept {
    const std::size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction = point == std::string_view::npos ? std::string_view("0") : text.substr(point + 1);
    if (!format_detail::all_digits(whole) || !format_detail::all_digits(fraction) ||
        whole.size() > longest_whole_microseconds) {
        return false;
    }
    long long parts = 0;
    for (std::size_t index = 0; index < static_cast<std::size_t>(time_decimals); ++index)
        parts = parts * 10 + (index < fraction.size() ? fraction[index] - '0' : 0);
    nanoseconds = format_detail::digits_value(whole) * 1000 + parts;
    return true;
}

// "YYYY-MM-DDThh:mm:ss.uuuuuuZ" as microseconds since 1970-01-01, for a
// date that exists.
constexpr bool parse_utc_time(std::string_view text, long long &microseconds) noexcept {
    using format_detail::all_digits;
    using format_detail::digits_value;
    constexpr std::string_view pattern = "0000-00-00T00:00:00.000000Z";
    if (text.size() != pattern.size()) return false;
    for (std::size_t index = 0; index < pattern.size(); ++index) {
        if (pattern[index] == '0' ? !format_detail::is_digit(text[index]) : text[index] != pattern[index]) return false;
    }
    const long long year = digits_value(text.substr(0, 4));
    const unsigned month = static_cast<unsigned>(digits_value(text.substr(5, 2)));
    const unsigned day = static_cast<unsigned>(digits_value(text.substr(8, 2)));
    const long long hour = digits_value(text.substr(11, 2));
    const long long minute = digits_value(text.substr(14, 2));
    const long long second = digits_value(text.substr(17, 2));
    if (month < 1 || month > 12 || day < 1 || day > format_detail::days_in_month(year, month) || hour > 23 ||
        minute > 59 || second > 59 || !all_digits(text.substr(20, 6))) {
        return false;
    }
    const long long seconds = format_detail::days_from_civil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    microseconds = seconds * 1000000 + digits_value(text.substr(20, 6));
    return true;
}

// Whether the line begins a run: a header, well formed or not. Lines after
// a damaged header belong to a run without one, never to the run before.
constexpr bool begins_run(std::string_view line) noexcept { return line.substr(0, header_start.size()) == header_start; }

// Whether the line is a note: begins with "# " and is no header.
constexpr bool is_note(std::string_view line) noexcept {
    return line.substr(0, note_start.size()) == note_start && !begins_run(line);
}

// The fields of a header line, in their order.
constexpr bool parse_header(std::string_view line, header_fields &header) noexcept {
    if (!begins_run(line)) return false;
    line.remove_prefix(header_start.size());
    const std::size_t pid_end = line.find(field_separator);
    if (pid_end == std::string_view::npos || !parse_id(line.substr(0, pid_end), header.pid)) return false;
    line.remove_prefix(pid_end);
    if (line.substr(0, start_key.size()) != start_key) return false;
    line.remove_prefix(start_key.size());
    header.started = line.substr(0, utc_time_length);
    if (!parse_utc_time(header.started, header.started_us)) return false;
    line.remove_prefix(header.started.size());
    if (line.substr(0, clock_key.size()) == clock_key) {
        line.remove_prefix(clock_key.size());
        const std::size_t rate = line.find(clock_rate_separator);
        const std::size_t end = line.find(field_separator);
        if (rate == std::string_view::npos || end == std::string_view::npos || rate > end) return false;
        header.clock = line.substr(0, rate);
        const std::string_view hz = line.substr(rate + 1, end - rate - 1);
        if (header.clock.empty() || !format_detail::all_digits(hz) || hz.size() > 18) return false;
        for (const char ch : header.clock)
            if (!format_detail::is_identifier_char(ch)) return false;
        header.clock_hz = format_detail::digits_value(hz);
        line.remove_prefix(end);
    }
    if (line.substr(0, executable_key.size()) != executable_key) return false;
    header.executable = line.substr(executable_key.size());
    return true;
}

// The fields of a call line, with or without its start.
constexpr bool parse_call(std::string_view line, call_fields &call) noexcept {
    const std::size_t space = line.find(field_separator);
    if (space == std::string_view::npos || !parse_id(line.substr(0, space), call.thread)) return false;
    std::size_t name_begin = space + 1;
    const std::size_t second_space = line.find(field_separator, name_begin);
    const std::size_t open = line.find(arguments_open, name_begin);
    if (open == std::string_view::npos) return false;
    call.has_start = second_space < open;
    if (call.has_start) {
        if (!parse_microseconds(line.substr(name_begin, second_space - name_begin), call.start_ns)) return false;
        name_begin = second_space + 1;
    }
    call.export_name = line.substr(name_begin, open - name_begin);
    if (call.export_name.empty()) return false;
    for (const char ch : call.export_name)
        if (!format_detail::is_identifier_char(ch)) return false;
    const std::size_t time = line.rfind(field_separator);
    const std::size_t result = time == std::string_view::npos ? time : line.rfind(result_separator, time);
    if (result == std::string_view::npos || result < open || time < result + result_separator.size() ||
        line.size() < time + 1 + duration_unit.size() ||
        line.substr(line.size() - duration_unit.size()) != duration_unit) {
        return false;
    }
    call.arguments = line.substr(open + 1, result - open - 1);
    call.result = line.substr(result + result_separator.size(), time - result - result_separator.size());
    return parse_microseconds(line.substr(time + 1, line.size() - time - 1 - duration_unit.size()), call.duration_ns);
}

}  // namespace tvc_trace
