#include "tools/trace_file.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fstream>

namespace tvc_trace {

namespace {

bool is_identifier_char(char ch) {
    return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '_';
}

bool all_digits(const std::string &text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// A thread or process id: digits that fit its type, and nothing else.
bool parse_id(const std::string &text, unsigned long &id) {
    if (!all_digits(text) || text.size() > 10) return false;
    const unsigned long long value = std::stoull(text);
    if (value > ULONG_MAX) return false;
    id = static_cast<unsigned long>(value);
    return true;
}

// The word after "<name>=" up to the next blank, or the rest of the line
// for the last field.
bool header_field(const std::string &line, const char *name, bool last, std::string &value) {
    const std::string key = std::string(" ") + name + "=";
    const std::size_t at = line.find(key);
    if (at == std::string::npos) return false;
    const std::size_t begin = at + key.size();
    value = last ? line.substr(begin) : line.substr(begin, line.find(' ', begin) - begin);
    return true;
}

bool parse_header(const std::string &line, run &header) {
    std::string pid;
    if (line.compare(0, 2, "# ") != 0 || !header_field(line, "pid", false, pid) || !parse_id(pid, header.pid) ||
        !header_field(line, "start", false, header.started) || !header_field(line, "exe", true, header.executable)) {
        return false;
    }
    header.has_header = true;
    return true;
}

// The result is the text after the last ") = ": arguments may hold any
// text, results never hold that sequence.
bool parse_call(const std::string &line, call &parsed) {
    const std::size_t space = line.find(' ');
    if (space == std::string::npos || !parse_id(line.substr(0, space), parsed.thread)) return false;
    std::size_t name_begin = space + 1;
    const std::size_t second_space = line.find(' ', name_begin);
    const std::size_t open = line.find('(', name_begin);
    if (open == std::string::npos) return false;
    parsed.has_start = second_space < open;
    if (parsed.has_start) {
        if (!parse_microseconds(line.substr(name_begin, second_space - name_begin), parsed.start_ns)) return false;
        name_begin = second_space + 1;
    }
    parsed.export_name = line.substr(name_begin, open - name_begin);
    if (parsed.export_name.empty() ||
        !std::all_of(parsed.export_name.begin(), parsed.export_name.end(), is_identifier_char)) {
        return false;
    }
    const std::size_t time = line.rfind(' ');
    const std::size_t result = line.rfind(") = ", time);
    if (result == std::string::npos || result < open || time < result + 4 || line.size() < time + 3 ||
        line.compare(line.size() - 2, 2, "us") != 0) {
        return false;
    }
    parsed.arguments = line.substr(open + 1, result - open - 1);
    parsed.result = line.substr(result + 4, time - result - 4);
    return parse_microseconds(line.substr(time + 1, line.size() - time - 3), parsed.duration_ns);
}

}  // namespace

bool parse_microseconds(const std::string &text, long long &nanoseconds) {
    const std::size_t point = text.find('.');
    const std::string whole = text.substr(0, point);
    const std::string fraction = point == std::string::npos ? "0" : text.substr(point + 1);
    if (!all_digits(whole) || !all_digits(fraction) || whole.size() > 15) return false;
    const std::string digits = (fraction + "000").substr(0, 3);
    nanoseconds = std::stoll(whole) * 1000 + std::stoll(digits);
    return true;
}

bool read_trace(const char *path, trace &content, std::string &error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = std::string("cannot read the trace file ") + path + ": " + std::strerror(errno);
        return false;
    }
    unsigned long long number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        run header;
        call parsed;
        if (parse_header(line, header)) {
            content.runs.push_back(header);
        } else if (parse_call(line, parsed)) {
            if (content.runs.empty()) content.runs.emplace_back();
            content.runs.back().calls.push_back(parsed);
        } else {
            content.malformed_lines.push_back(number);
        }
    }
    if (in.bad()) {
        error = std::string("cannot read the trace file ") + path;
        return false;
    }
    return true;
}

}  // namespace tvc_trace
