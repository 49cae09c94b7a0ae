#include "tools/trace/trace_summary.h"

#include "tools/json_writer.h"
#include "tools/trace/trace_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace tvc_trace {

namespace {

struct export_total {
    std::string name;
    long long nanoseconds = 0;
    unsigned long long calls = 0;
};

// The totals of one run, kept while its lines are read: one entry per
// export it called.
struct run_totals {
    run about;
    std::map<std::string, export_total, std::less<>> exports;
    bool overflowed = false;  // a total beyond long long: no figure of the run can be trusted

    void add(const call_fields &call) {
        auto entry = exports.find(call.export_name);
        if (entry == exports.end()) {
            entry = exports.emplace(std::string(call.export_name), export_total{}).first;
            entry->second.name = entry->first;
        }
        overflowed |= __builtin_add_overflow(entry->second.nanoseconds, call.duration_ns, &entry->second.nanoseconds);
        ++entry->second.calls;
    }
};

double microseconds(long long nanoseconds) { return static_cast<double>(nanoseconds) / 1000.0; }
double share(const export_total &part, const export_total &all) {
    return all.nanoseconds > 0 ? 100.0 * static_cast<double>(part.nanoseconds) / static_cast<double>(all.nanoseconds)
                               : 0.0;
}

void print_rule(std::FILE *out) {
    std::fprintf(out, "------ ------------ --------- ------------ ------------------------------\n");
}

void print_text(const run &run, const std::vector<export_total> &rows, const export_total &all, std::FILE *out) {
    if (run.has_header) {
        std::fprintf(out, "run %llu: pid %lu, started %s, %s\n", run.number, static_cast<unsigned long>(run.pid),
                     run.started.c_str(), shown(run.executable).c_str());
    } else {
        std::fprintf(out, "run %llu: lines without a run header\n", run.number);
    }
    std::fprintf(out, "%% time     total us     calls      us/call export\n");
    print_rule(out);
    for (const export_total &row : rows) {
        std::fprintf(out, "%6.2f %12.3f %9llu %12.3f %s\n", share(row, all), microseconds(row.nanoseconds), row.calls,
                     microseconds(row.nanoseconds) / static_cast<double>(row.calls), row.name.c_str());
    }
    print_rule(out);
    std::fprintf(out, "%6.2f %12.3f %9llu %12s total\n", all.calls > 0 ? 100.0 : 0.0, microseconds(all.nanoseconds),
                 all.calls, "");
}

void print_json(const run &run, const std::vector<export_total> &rows, const export_total &all,
                tvc_check::json_writer &json) {
    json.begin_object();
    json.member("run", run.number);
    if (run.has_header) {
        json.member("pid", run.pid);
        json.member("started", run.started);
        if (!run.clock.empty()) {
            json.member("clock", run.clock);
            json.member("clock_hz", static_cast<unsigned long long>(run.clock_hz));
        }
        json.member("executable", run.executable);
    }
    json.member("calls", all.calls);
    json.member("total_us", microseconds(all.nanoseconds));
    json.object_array("exports", rows, [&](const export_total &row) {
        json.member("export", row.name);
        json.member("calls", row.calls);
        json.member("total_us", microseconds(row.nanoseconds));
        json.member("share_percent", share(row, all));
    });
    json.end_object();
}

// The run number as written, or 0 for one beyond any count of runs.
unsigned long long run_number(const std::string &text) {
    unsigned long long number = 0;
    for (const char digit : text) {
        if (__builtin_mul_overflow(number, 10ull, &number) ||
            __builtin_add_overflow(number, static_cast<unsigned long long>(digit - '0'), &number)) {
            return 0;
        }
    }
    return number;
}

class summary_printer {
public:
    summary_printer(const char *path, const trace_summary_options &options, std::FILE *out)
        : options_(options), out_(out), json_(out) {
        if (!options_.json) return;
        json_.begin_object();
        json_.member("file", path);
        json_.key("runs");
        json_.begin_array();
    }

    // Prints the run; false when its times overflowed and it is left out.
    bool print(const run_totals &totals) {
        if (totals.overflowed) return false;
        std::vector<export_total> rows;
        export_total all;
        for (const auto &entry : totals.exports) {
            rows.push_back(entry.second);
            if (__builtin_add_overflow(all.nanoseconds, entry.second.nanoseconds, &all.nanoseconds)) return false;
            all.calls += entry.second.calls;
        }
        std::stable_sort(rows.begin(), rows.end(), [](const export_total &left, const export_total &right) {
            return left.nanoseconds > right.nanoseconds;
        });
        if (options_.json) {
            print_json(totals.about, rows, all, json_);
        } else {
            if (printed_++ > 0) std::fputc('\n', out_);
            print_text(totals.about, rows, all, out_);
        }
        return true;
    }

    void finish(const std::string &error) {
        if (options_.json) {
            json_.end_array();
            if (!error.empty()) json_.member("error", error);
            json_.end_object();
        } else if (!error.empty()) {
            std::fprintf(out_, "error: %s\n", error.c_str());
        }
    }

private:
    const trace_summary_options &options_;
    std::FILE *out_;
    tvc_check::json_writer json_;
    int printed_ = 0;
};

std::string plural(unsigned long long count, const char *noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

}  // namespace

int summarize_trace(const char *path, const trace_summary_options &options, std::FILE *out, std::FILE *messages) {
    const unsigned long long chosen = options.run.empty() ? 0 : run_number(options.run);
    std::vector<std::string> errors;
    trace_reader reader;
    std::string error;
    summary_printer printer(path, options, out);
    if (reader.open(path, error)) {
        run_totals totals;
        unsigned long long overflowed_run = 0;
        const auto close_run = [&] {
            if (totals.about.number == 0 || (!options.run.empty() && totals.about.number != chosen)) return;
            if (!printer.print(totals) && overflowed_run == 0) overflowed_run = totals.about.number;
        };
        // A write that failed once fails on: stop reading at the next run.
        while (std::ferror(out) == 0 && reader.next()) {
            if (reader.at_run_start()) {
                close_run();
                totals = run_totals{reader.current_run(), {}, false};
            } else if (options.run.empty() || totals.about.number == chosen) {
                totals.add(reader.call());
            }
        }
        close_run();
        const unsigned long long runs = reader.current_run().number;
        if (!options.run.empty() && (chosen == 0 || chosen > runs)) {
            errors.push_back(std::string("the trace file ") + path + " holds " + plural(runs, "run") + ", not run " +
                             options.run);
        }
        if (overflowed_run != 0) {
            errors.push_back(std::string(path) + ": the times of run " + std::to_string(overflowed_run) +
                             " add up to more than can be counted");
        }
        if (reader.malformed_lines() > 0) {
            errors.push_back(std::string(path) + ": " + plural(reader.malformed_lines(), "line") +
                             " not in the trace format, skipped (the first is line " +
                             std::to_string(reader.first_malformed_line()) + ")");
        }
        if (!reader.read_error().empty()) errors.push_back(reader.read_error());
    } else {
        errors.push_back(error);
    }
    std::string all_errors;
    for (const std::string &each : errors) all_errors += (all_errors.empty() ? "" : "; ") + each;
    printer.finish(all_errors);
    if (std::fflush(out) != 0 || std::ferror(out) != 0) {
        std::fprintf(messages, "error: cannot write the summary of %s: %s\n", path, std::strerror(errno));
        return 1;
    }
    return errors.empty() ? 0 : 1;
}

}  // namespace tvc_trace
