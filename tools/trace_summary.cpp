#include "tools/trace_summary.h"

#include "tools/trace_file.h"
#include "tools/json_writer.h"

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

struct export_total {
    std::string name;
    long long nanoseconds = 0;
    unsigned long long calls = 0;
};

struct run_summary {
    int number;
    const tvc_trace::run *run;
    std::vector<export_total> rows;  // the most time first
    export_total all;
    bool overflowed = false;  // a total beyond long long: no figure of the run can be trusted
};

run_summary summarize(int number, const tvc_trace::run &run) {
    run_summary summary{number, &run, {}, {}};
    std::map<std::string, export_total> totals;
    for (const tvc_trace::call &call : run.calls) {
        export_total &total = totals[call.export_name];
        total.name = call.export_name;
        summary.overflowed |= __builtin_add_overflow(total.nanoseconds, call.duration_ns, &total.nanoseconds);
        ++total.calls;
    }
    for (const auto &entry : totals) summary.rows.push_back(entry.second);
    std::stable_sort(summary.rows.begin(), summary.rows.end(),
                     [](const export_total &left, const export_total &right) { return left.nanoseconds > right.nanoseconds; });
    for (const export_total &row : summary.rows) {
        summary.overflowed |= __builtin_add_overflow(summary.all.nanoseconds, row.nanoseconds, &summary.all.nanoseconds);
        summary.all.calls += row.calls;
    }
    return summary;
}

double microseconds(long long nanoseconds) { return static_cast<double>(nanoseconds) / 1000.0; }
double share(const export_total &part, const export_total &all) {
    return all.nanoseconds > 0 ? 100.0 * static_cast<double>(part.nanoseconds) / static_cast<double>(all.nanoseconds)
                               : 0.0;
}

void print_rule(FILE *out) { std::fprintf(out, "------ ------------ --------- ------------ ------------------------------\n"); }

void print_text(const run_summary &summary, FILE *out) {
    const tvc_trace::run &run = *summary.run;
    if (run.has_header) {
        std::fprintf(out, "run %d: pid %lu, started %s, %s\n", summary.number, run.pid, run.started.c_str(),
                     run.executable.c_str());
    } else {
        std::fprintf(out, "run %d: lines without a run header\n", summary.number);
    }
    std::fprintf(out, "%% time     total us     calls      us/call export\n");
    print_rule(out);
    for (const export_total &row : summary.rows) {
        std::fprintf(out, "%6.2f %12.3f %9llu %12.3f %s\n", share(row, summary.all), microseconds(row.nanoseconds),
                     row.calls, microseconds(row.nanoseconds) / static_cast<double>(row.calls), row.name.c_str());
    }
    print_rule(out);
    std::fprintf(out, "%6.2f %12.3f %9llu %12s total\n", summary.all.calls > 0 ? 100.0 : 0.0,
                 microseconds(summary.all.nanoseconds), summary.all.calls, "");
}

void print_json(const run_summary &summary, tvc_check::json_writer &json) {
    const tvc_trace::run &run = *summary.run;
    json.begin_object();
    json.member("run", summary.number);
    if (run.has_header) {
        json.member("pid", run.pid);
        json.member("started", run.started);
        json.member("executable", run.executable);
    }
    json.member("calls", summary.all.calls);
    json.member("total_us", microseconds(summary.all.nanoseconds));
    json.object_array("exports", summary.rows, [&](const export_total &row) {
        json.member("export", row.name);
        json.member("calls", row.calls);
        json.member("total_us", microseconds(row.nanoseconds));
        json.member("share_percent", share(row, summary.all));
    });
    json.end_object();
}

}  // namespace

int summarize_trace(const char *path, const trace_summary_options &options, FILE *out) {
    tvc_trace::trace content;
    std::string error;
    std::vector<run_summary> summaries;
    if (tvc_trace::read_trace(path, content, error)) {
        const int runs = static_cast<int>(content.runs.size());
        if (options.run > runs || options.run < 0) {
            error = std::string("the trace file ") + path + " holds " + std::to_string(runs) + " run" +
                    (runs == 1 ? "" : "s") + ", not run " + std::to_string(options.run);
        } else {
            for (int number = 1; number <= runs; ++number) {
                if (options.run == 0 || options.run == number) summaries.push_back(summarize(number, content.runs[number - 1]));
            }
            const std::size_t malformed = content.malformed_lines.size();
            const auto overflowed = std::find_if(summaries.begin(), summaries.end(),
                                                 [](const run_summary &summary) { return summary.overflowed; });
            if (overflowed != summaries.end()) {
                error = std::string(path) + ": the times of run " + std::to_string(overflowed->number) +
                        " add up to more than can be counted";
                summaries.clear();
            } else if (malformed > 0) {
                error = std::string(path) + ": " + std::to_string(malformed) + " line" + (malformed == 1 ? "" : "s") +
                        " not in the trace format, skipped (the first is line " +
                        std::to_string(content.malformed_lines.front()) + ")";
            }
        }
    }
    if (options.json) {
        tvc_check::json_writer json(out);
        json.begin_object();
        json.member("file", path);
        json.key("runs");
        json.begin_array();
        for (const run_summary &summary : summaries) print_json(summary, json);
        json.end_array();
        if (!error.empty()) json.member("error", error);
        json.end_object();
    } else {
        for (std::size_t index = 0; index < summaries.size(); ++index) {
            if (index > 0) std::fputc('\n', out);
            print_text(summaries[index], out);
        }
        if (!error.empty()) std::fprintf(out, "error: %s\n", error.c_str());
    }
    return error.empty() ? 0 : 1;
}
