#include "tools/trace_timeline.h"

#include "tools/trace_file.h"
#include "tools/json_writer.h"

#include <cerrno>
#include <cstring>
#include <string>

namespace {

std::string file_name(const std::string &path) { return path.substr(path.find_last_of("\\/") + 1); }

// Events: "X" (complete: a start and a duration) per call, times in
// microseconds since the run's header; "M" (metadata) naming each process.
void write_run(const tvc_trace::run &run, unsigned long long &without_start, tvc_check::json_writer &json) {
    if (run.has_header) {
        json.begin_object();
        json.member("name", "process_name");
        json.member("ph", "M");
        json.member("pid", run.pid);
        json.key("args");
        json.begin_object();
        json.member("name", file_name(run.executable) + " (pid " + std::to_string(run.pid) + ", " + run.started + ")");
        json.end_object();
        json.end_object();
    }
    for (const tvc_trace::call &call : run.calls) {
        if (!call.has_start) {
            ++without_start;
            continue;
        }
        json.begin_object();
        json.member("name", call.export_name);
        json.member("ph", "X");
        json.member("ts", static_cast<double>(call.start_ns) / 1000.0);
        json.member("dur", static_cast<double>(call.duration_ns) / 1000.0);
        json.member("pid", run.pid);
        json.member("tid", call.thread);
        json.key("args");
        json.begin_object();
        json.member("arguments", call.arguments);
        json.member("result", call.result);
        json.end_object();
        json.end_object();
    }
}

}  // namespace

int write_trace_timeline(const char *trace_path, const char *output_path, FILE *messages) {
    tvc_trace::trace content;
    std::string error;
    if (!tvc_trace::read_trace(trace_path, content, error)) {
        std::fprintf(messages, "error: %s\n", error.c_str());
        return 1;
    }
    FILE *out = std::fopen(output_path, "wb");
    if (out == nullptr) {
        std::fprintf(messages, "error: cannot write %s: %s\n", output_path, std::strerror(errno));
        return 1;
    }
    unsigned long long without_start = 0;
    {
        tvc_check::json_writer json(out);
        json.begin_object();
        json.key("traceEvents");
        json.begin_array();
        for (const tvc_trace::run &run : content.runs) write_run(run, without_start, json);
        json.end_array();
        json.member("displayTimeUnit", "ns");
        json.end_object();
    }
    const bool written = std::ferror(out) == 0;
    if (std::fclose(out) != 0 || !written) {
        std::fprintf(messages, "error: cannot write %s\n", output_path);
        return 1;
    }
    const unsigned long long skipped = content.malformed_lines.size() + without_start;
    if (skipped > 0) {
        std::fprintf(messages, "error: %s: %llu line%s not call lines with a start time, skipped\n", trace_path,
                     skipped, skipped == 1 ? "" : "s");
        return 1;
    }
    return 0;
}
