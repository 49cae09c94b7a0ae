#include "tools/trace/trace_timeline.h"

#include "tools/json_writer.h"
#include "tools/trace/trace_file.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_set>

namespace tvc_trace {

namespace {

std::string file_name(const std::string &path) { return path.substr(path.find_last_of("\\/") + 1); }

// Times of a hostile file may lie beyond 64 bits of nanoseconds: they stay
// at the end of the range, in order, instead of wrapping around.
long long saturated_sum(long long left, long long right) {
    long long sum;
    return __builtin_add_overflow(left, right, &sum) ? (right > 0 ? LLONG_MAX : LLONG_MIN) : sum;
}
long long saturated_product(long long left, long long right) {
    long long product;
    return __builtin_mul_overflow(left, right, &product) ? ((left < 0) != (right < 0) ? LLONG_MIN : LLONG_MAX) : product;
}

void close_file(std::FILE *file) { std::fclose(file); }
using unique_file = tvc::unique_resource<std::FILE *, close_file>;

// Events: "X" (complete: a start and a duration) per call, "M" (metadata)
// naming each run's process after its executable and each of its threads
// "thread <id>" where the thread first calls, so that a viewer labels every
// row instead of showing bare numbers. Times in microseconds since the first header of
// the file: each run is placed at its own wall-clock start, so runs of one
// file lie one after the other as they ran. A run whose clock start lies
// before the end of the run before it (a clock set back, a damaged header,
// lines before the first header) begins where that one ended instead, so
// that runs never overlap.
class timeline_writer {
public:
    // Compact: a viewer reads the file whole, and its size is what limits it.
    explicit timeline_writer(std::FILE *out) : json_(out, tvc_check::json_layout::compact) {
        json_.begin_object();
        json_.key("traceEvents");
        json_.begin_array();
    }

    void begin_run(const run &run) {
        pid_ = run.number;
        long long start_ns = end_ns_;
        if (run.has_header) {
            if (!has_origin_) {
                origin_us_ = run.started_us;
                has_origin_ = true;
            }
            start_ns = std::max(start_ns, saturated_product(run.started_us - origin_us_, 1000));
        }
        offset_ns_ = start_ns;
        named_threads_.clear();
        name_row("process_name", nullptr,
                 run.has_header ? file_name(run.executable) + " (pid " + std::to_string(run.pid) + ", " + run.started + ")"
                                : "lines without a run header");
    }

    void add(const call_fields &call) {
        // In whole nanoseconds, divided once: the microseconds read back as
        // the line wrote them.
        const long long start_ns = saturated_sum(offset_ns_, call.start_ns);
        end_ns_ = std::max(end_ns_, saturated_sum(start_ns, call.duration_ns));
        const double start = static_cast<double>(start_ns) / 1000.0;
        const double duration = static_cast<double>(call.duration_ns) / 1000.0;
        if (named_threads_.insert(call.thread).second) {
            name_row("thread_name", &call.thread, "thread " + std::to_string(call.thread));
        }
        json_.begin_object();
        json_.member("name", std::string(call.export_name));
        json_.member("ph", "X");
        json_.member("ts", start);
        json_.member("dur", duration);
        json_.member("pid", pid_);
        json_.member("tid", call.thread);
        json_.key("args");
        json_.begin_object();
        json_.member("arguments", std::string(call.arguments));
        json_.member("result", std::string(call.result));
        json_.end_object();
        json_.end_object();
    }

    void finish() {
        json_.end_array();
        json_.member("displayTimeUnit", "ns");
        json_.end_object();
    }

private:
    // A metadata event naming the current run's process, or one of its threads.
    void name_row(const char *what, const std::uint32_t *thread, const std::string &name) {
        json_.begin_object();
        json_.member("name", what);
        json_.member("ph", "M");
        json_.member("pid", pid_);
        if (thread != nullptr) json_.member("tid", *thread);
        json_.key("args");
        json_.begin_object();
        json_.member("name", name);
        json_.end_object();
        json_.end_object();
    }

    tvc_check::json_writer json_;
    // The threads of the current run named so far: as many as it has threads.
    std::unordered_set<std::uint32_t> named_threads_;
    unsigned long long pid_ = 0;
    bool has_origin_ = false;
    long long origin_us_ = 0;
    long long offset_ns_ = 0;
    long long end_ns_ = 0;  // the latest end of a call so far
};

}  // namespace

int write_trace_timeline(const char *trace_path, const char *output_path, std::FILE *messages) {
    trace_reader reader;
    std::string error;
    if (!reader.open(trace_path, error)) {
        std::fprintf(messages, "error: %s\n", error.c_str());
        return 1;
    }
    const unique_file out(open_output(output_path));
    if (!out) {
        std::fprintf(messages, "error: cannot write %s: %s\n", output_path, std::strerror(errno));
        return 1;
    }
    // Large writes: the C runtime's default buffer makes a system call of
    // every few events, and under Wine each costs a round trip to its server.
    std::setvbuf(out.get(), nullptr, _IOFBF, 1u << 20);
    unsigned long long without_start = 0;
    timeline_writer timeline(out.get());
    // A write that failed once fails on: stop reading there.
    for (unsigned long long lines = 0; reader.next();) {
        if (++lines % 4096 == 0 && std::ferror(out.get()) != 0) break;
        if (reader.at_run_start()) {
            timeline.begin_run(reader.current_run());
        } else if (reader.call().has_start) {
            timeline.add(reader.call());
        } else {
            ++without_start;
        }
    }
    timeline.finish();
    if (std::fflush(out.get()) != 0 || std::ferror(out.get()) != 0) {
        std::fprintf(messages, "error: cannot write %s: %s\n", output_path, std::strerror(errno));
        return 1;
    }
    if (!reader.read_error().empty()) {
        std::fprintf(messages, "error: %s\n", reader.read_error().c_str());
        return 1;
    }
    const unsigned long long skipped = reader.malformed_lines() + without_start;
    if (skipped > 0) {
        std::fprintf(messages, "error: %s: %llu line%s not call lines with a start time, skipped\n", trace_path,
                     skipped, skipped == 1 ? "" : "s");
        return 1;
    }
    return 0;
}

}  // namespace tvc_trace
