#include "tools/trace/trace_follow.h"

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "call_trace/trace_format.h"
#include "common/code_page_text.h"
#include "common/unique_resource.h"
#include "common/unlimited_path.h"
#include "tools/trace/trace_file.h"

namespace tvc_trace {

namespace {

// Twice the longest line: a window always holds a whole line after the
// last one printed.
constexpr std::size_t window_size = 2 * longest_line + 2;

// Read access only, sharing everything: the writer may open, extend, map and
// cut the file as if nobody looked.
HANDLE open_for_reading(const std::wstring &path) {
    return ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Whether two handles are known to open different files; when the system
// cannot say, they are taken for one, so that a file is never printed twice.
bool other_file(HANDLE left, HANDLE right) {
    BY_HANDLE_FILE_INFORMATION a, b;
    return ::GetFileInformationByHandle(left, &a) && ::GetFileInformationByHandle(right, &b) &&
           (a.dwVolumeSerialNumber != b.dwVolumeSerialNumber || a.nFileIndexHigh != b.nFileIndexHigh ||
            a.nFileIndexLow != b.nFileIndexLow);
}

class follower {
public:
    follower(const char *path, std::FILE *out, std::FILE *messages, const follow_timing &timing)
        : path_(path), system_path_(tvc::file_system_path(tvc::widened(path))), out_(out), messages_(messages),
          timing_(timing), window_(window_size) {}

    int run() {
        bool said_waiting = false;
        for (;;) {
            if (!file_) {
                file_.reset(open_for_reading(system_path_));
                if (file_.get() == INVALID_HANDLE_VALUE) {
                    file_.release();
                    const DWORD code = ::GetLastError();
                    if (code != ERROR_FILE_NOT_FOUND) return fail("cannot read the trace file " + path_, code);
                    if (!said_waiting) std::fprintf(messages_, "waiting for %s to be made\n", path_.c_str());
                    said_waiting = true;
                    ::Sleep(timing_.poll_ms);
                    continue;
                }
                if (::GetFileType(file_.get()) != FILE_TYPE_DISK) {
                    std::fprintf(messages_, "error: %s is no file on a disk: read a pipe or a device as it is\n",
                                 path_.c_str());
                    return 1;
                }
            }
            bool progressed = false;
            if (!step(progressed)) return 1;
            if (progressed) continue;
            if (!follow_replacement()) return 1;
            ::Sleep(timing_.poll_ms);
        }
    }

private:
    int fail(const std::string &what, DWORD code) {
        std::fprintf(messages_, "error: %s: %s\n", what.c_str(), system_text(code).c_str());
        return 1;
    }

    // Reads the window at the offset after the last line printed and prints
    // its complete lines; progressed says whether the offset moved. False
    // when the file cannot be read or out cannot be written.
    bool step(bool &progressed) {
        LARGE_INTEGER size;
        if (!::GetFileSizeEx(file_.get(), &size)) {
            fail("cannot read the trace file " + path_, ::GetLastError());
            return false;
        }
        if (static_cast<unsigned long long>(size.QuadPart) < offset_) {
            // Cut below what was printed: the file was made afresh.
            std::fprintf(out_, "# the trace file was cut; following it from its start\n");
            offset_ = 0;
            skipping_ = false;
        }
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset_);
        at.OffsetHigh = static_cast<DWORD>(offset_ >> 32);
        DWORD read = 0;
        if (!::ReadFile(file_.get(), window_.data(), static_cast<DWORD>(window_.size()), &read, &at) &&
            ::GetLastError() != ERROR_HANDLE_EOF) {
            fail("cannot read the trace file " + path_, ::GetLastError());
            return false;
        }
        const char *const begin = window_.data();
        const char *const end = begin + read;
        const char *at_line = begin;
        while (at_line < end) {
            if (skipping_) {
                // The rest of an overlong line, up to its end or to zeros
                // (where the next line may still be written).
                while (at_line < end && *at_line != '\n' && *at_line != '\0') ++at_line;
                if (at_line == end) break;
                skipping_ = false;
                if (*at_line == '\n') ++at_line;
                continue;
            }
            if (*at_line == '\0') {
                // Zeros: the reserved end of the stretch, or a line still
                // being copied in before lines already written. Only the
                // second, once it has lasted, is passed over.
                const char *data = at_line;
                while (data < end && *data == '\0') ++data;
                if (data == end || !gap_has_lasted(offset_of(at_line, begin))) break;
                // A line's end is copied first: a line end right after the
                // zeros is that of a line never copied in.
                at_line = *data == '\n' ? data + 1 : data;
                continue;
            }
            const char *newline = static_cast<const char *>(std::memchr(at_line, '\n', end - at_line));
            const char *zero = static_cast<const char *>(std::memchr(at_line, '\0', (newline ? newline : end) - at_line));
            if (zero != nullptr) {
                // A line whose copy has not reached its end yet; once the gap
                // has lasted, what was copied of it is dropped, up to its end,
                // which was copied first.
                const char *data = zero;
                while (data < end && *data == '\0') ++data;
                if (data == end || !gap_has_lasted(offset_of(at_line, begin))) break;
                at_line = newline != nullptr ? newline + 1 : data;
                continue;
            }
            if (newline == nullptr) {
                if (static_cast<std::size_t>(end - at_line) <= longest_line) break;  // still being written
                // Longer than any line of the format: not a trace line.
                std::fprintf(out_, "# a line longer than %zu bytes skipped\n", longest_line);
                skipping_ = true;
                continue;
            }
            std::string line(at_line, newline);
            while (!line.empty() && line.back() == '\r') line.pop_back();
            std::fprintf(out_, "%s\n", shown(line).c_str());
            at_line = newline + 1;
        }
        if (at_line != begin) {
            offset_ += static_cast<unsigned long long>(at_line - begin);
            gap_offset_ = ~0ull;
            progressed = true;
        }
        if (std::fflush(out_) != 0 || std::ferror(out_) != 0) {
            std::fprintf(messages_, "error: the lines could not be written to standard output\n");
            return false;
        }
        return true;
    }

    unsigned long long offset_of(const char *at, const char *begin) const {
        return offset_ + static_cast<unsigned long long>(at - begin);
    }

    // Whether zeros at offset, with written bytes after them, have been seen
    // there for longer than a line takes to be copied in.
    bool gap_has_lasted(unsigned long long offset) {
        const unsigned long long now = ::GetTickCount64();
        if (gap_offset_ != offset) {
            gap_offset_ = offset;
            gap_since_ = now;
            return false;
        }
        return now - gap_since_ >= timing_.gap_ms;
    }

    // While nothing is new: when the name now stands for another file (the
    // trace was deleted and a program made it again), that one is followed
    // from its start. False only when out cannot be written.
    bool follow_replacement() {
        tvc::unique_handle named(open_for_reading(system_path_));
        if (named.get() == INVALID_HANDLE_VALUE) {
            named.release();
            return true;  // deleted, not made again yet: the old one may still grow
        }
        if (!other_file(named.get(), file_.get())) return true;
        file_ = std::move(named);
        offset_ = 0;
        skipping_ = false;
        gap_offset_ = ~0ull;
        std::fprintf(out_, "# the trace file was made again; following it from its start\n");
        return std::fflush(out_) == 0;
    }

    std::string path_;
    std::wstring system_path_;
    std::FILE *out_;
    std::FILE *messages_;
    follow_timing timing_;
    std::vector<char> window_;
    tvc::unique_handle file_;
    unsigned long long offset_ = 0;  // after the last line printed
    bool skipping_ = false;          // inside a line too long to print
    unsigned long long gap_offset_ = ~0ull;
    unsigned long long gap_since_ = 0;
};

}  // namespace

int follow_trace(const char *path, std::FILE *out, std::FILE *messages, const follow_timing &timing) {
    return follower(path, out, messages, timing).run();
}

}  // namespace tvc_trace
