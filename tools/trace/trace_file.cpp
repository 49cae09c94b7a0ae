#include "tools/trace/trace_file.h"

#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/code_page_text.h"
#include "common/unlimited_path.h"

namespace tvc_trace {

namespace {

constexpr std::size_t chunk_size = 1u << 20;

using tvc::widened;

std::wstring file_system_path(const char *path) { return tvc::file_system_path(widened(path)); }

bool is_blank(std::string_view line) { return line.find_first_not_of(" \t") == std::string_view::npos; }

}  // namespace

bool trace_reader::open(const char *path, std::string &error) {
    path_ = path;
    file_.reset(::CreateFileW(file_system_path(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (file_.get() == INVALID_HANDLE_VALUE) {
        file_.release();
        error = "cannot read the trace file " + path_ + ": " + system_text(::GetLastError());
        return false;
    }
    chunk_.resize(chunk_size);
    return true;
}

// The next line without its line end, or false at the end of the file. A
// line longer than the format allows comes back empty, marked overlong_.
bool trace_reader::next_line(std::string_view &line) {
    pending_.clear();
    overlong_ = false;
    for (;;) {
        // Zero bytes at a line's start are space that a process which ended
        // abruptly took and never filled: passed over, never a line.
        if (pending_.empty() && !overlong_) {
            while (chunk_begin_ < chunk_end_ && chunk_[chunk_begin_] == '\0') ++chunk_begin_;
        }
        if (chunk_begin_ < chunk_end_) {
            const char *begin = chunk_.data() + chunk_begin_;
            const std::size_t available = chunk_end_ - chunk_begin_;
            const void *newline = std::memchr(begin, '\n', available);
            const std::size_t length =
                newline != nullptr ? static_cast<std::size_t>(static_cast<const char *>(newline) - begin) : available;
            chunk_begin_ += length + (newline != nullptr);
            if (!overlong_ && pending_.size() + length > longest_line) {
                overlong_ = true;
                pending_.clear();
            }
            if (newline != nullptr && pending_.empty() && !overlong_) {
                line = std::string_view(begin, length);
                ++line_number_;
                return true;
            }
            if (!overlong_) pending_.append(begin, length);
            if (newline != nullptr) break;
        }
        if (at_end_) {
            if (pending_.empty() && !overlong_) return false;
            break;
        }
        DWORD read = 0;
        if (!::ReadFile(file_.get(), chunk_.data(), static_cast<DWORD>(chunk_.size()), &read, nullptr)) {
            const DWORD code = ::GetLastError();
            if (code != ERROR_BROKEN_PIPE && code != ERROR_HANDLE_EOF) {
                read_error_ = "cannot read the trace file " + path_ + ": " + system_text(code);
                return false;
            }
        }
        chunk_begin_ = 0;
        chunk_end_ = read;
        at_end_ = read == 0;
    }
    line = pending_;
    ++line_number_;
    return true;
}

void trace_reader::count_malformed() {
    if (malformed_++ == 0) first_malformed_ = line_number_;
}

void trace_reader::begin_run(const header_fields *header) {
    ++run_.number;
    run_.has_header = header != nullptr;
    run_.pid = header != nullptr ? header->pid : 0;
    run_.started.assign(header != nullptr ? header->started : std::string_view());
    run_.started_us = header != nullptr ? header->started_us : 0;
    run_.clock.assign(header != nullptr ? header->clock : std::string_view());
    run_.clock_hz = header != nullptr ? header->clock_hz : 0;
    run_.executable.assign(header != nullptr ? header->executable : std::string_view());
    at_run_start_ = true;
}

bool trace_reader::next() {
    // A call line before any header: its run started first, now the line.
    if (at_run_start_ && call_.export_name.data() != nullptr) {
        at_run_start_ = false;
        return true;
    }
    at_run_start_ = false;
    call_ = call_fields{};
    std::string_view line;
    while (next_line(line)) {
        while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (overlong_) {
            count_malformed();
            continue;
        }
        // A line with zero bytes in it was cut by a crash: its end is copied
        // first, so its text stops at zeros before the line end. Like zeros
        // at a line's start, it is no line.
        if (is_blank(line) || is_note(line) || line.find('\0') != std::string_view::npos) continue;
        header_fields header;
        if (begins_run(line)) {
            const bool whole = parse_header(line, header);
            if (!whole) count_malformed();
            begin_run(whole ? &header : nullptr);
            return true;
        }
        if (!parse_call(line, call_)) {
            call_ = call_fields{};
            count_malformed();
            continue;
        }
        if (run_.number == 0) begin_run(nullptr);
        return true;
    }
    return false;
}

std::string system_text(unsigned long code) {
    char *text = nullptr;
    const DWORD length = ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                              FORMAT_MESSAGE_IGNORE_INSERTS,
                                          nullptr, code, 0, reinterpret_cast<char *>(&text), 0, nullptr);
    const tvc::unique_local_string owner(text);
    std::string result = length > 0 ? std::string(text, length) : "error " + std::to_string(code);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r' || result.back() == ' ')) result.pop_back();
    return result;
}

std::string shown(const std::string &text) {
    const std::wstring wide = widened(text.c_str());
    std::string result;
    for (std::size_t index = 0; index < wide.size(); ++index) {
        const unsigned code = wide[index];
        char escape[8];
        if (code < 0x20 || (code >= 0x7F && code < 0xA0)) {
            std::snprintf(escape, sizeof escape, code < 0x80 ? "\\x%02x" : "\\u%04x", code);
            result += escape;
            continue;
        }
        // The character back in the code page: the bytes it came from.
        const int units = IS_HIGH_SURROGATE(wide[index]) && index + 1 < wide.size() ? 2 : 1;
        char bytes[8];
        const int length = ::WideCharToMultiByte(CP_ACP, 0, &wide[index], units, bytes, sizeof bytes, nullptr, nullptr);
        result.append(bytes, length > 0 ? static_cast<std::size_t>(length) : 0);
        index += static_cast<std::size_t>(units) - 1;
    }
    // The terminal reads the bytes in its own encoding, mostly UTF-8, where
    // C2 80 to C2 9F are the C1 controls whatever the code page made of them
    // ("\xc2\x9b" is a CSI). The escapes above are ASCII, so only the
    // file's bytes can pair up here.
    std::string safe;
    safe.reserve(result.size());
    for (std::size_t at = 0; at < result.size(); ++at) {
        const unsigned char byte = static_cast<unsigned char>(result[at]);
        const unsigned char next = at + 1 < result.size() ? static_cast<unsigned char>(result[at + 1]) : 0;
        if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
            char escape[16];
            std::snprintf(escape, sizeof escape, "\\x%02x\\x%02x", byte, next);
            safe += escape;
            ++at;
        } else {
            safe += result[at];
        }
    }
    return safe;
}

std::FILE *open_output(const char *path) { return ::_wfopen(file_system_path(path).c_str(), L"wb"); }

}  // namespace tvc_trace
