#include "tools/trace_summary.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

struct export_total {
    double microseconds = 0;
    unsigned long long calls = 0;
};

bool is_identifier_char(char ch) {
    return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '_';
}

// "<thread id> <export>(<arguments>) = <result> <microseconds>us": gives the
// export and the time, or false for anything else.
bool parse_line(std::string line, std::string &export_name, double &microseconds) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t space = line.find(' ');
    if (space == 0 || space == std::string::npos ||
        line.find_first_not_of("0123456789") != space) {
        return false;
    }
    const std::size_t open = line.find('(', space);
    if (open == std::string::npos || open == space + 1) return false;
    export_name = line.substr(space + 1, open - space - 1);
    if (!std::all_of(export_name.begin(), export_name.end(), is_identifier_char)) return false;
    const std::size_t result = line.find(") = ", open);
    const std::size_t time = line.rfind(' ');
    if (result == std::string::npos || time < result + 4 || line.size() < time + 4 ||
        line.compare(line.size() - 2, 2, "us") != 0) {
        return false;
    }
    const std::string number = line.substr(time + 1, line.size() - time - 3);
    char *end = nullptr;
    errno = 0;
    microseconds = std::strtod(number.c_str(), &end);
    return errno == 0 && end == number.c_str() + number.size() && !number.empty() && microseconds >= 0;
}

void print_rule(FILE *out) { std::fprintf(out, "------ ------------ --------- ------------ ------------------------------\n"); }

}  // namespace

int summarize_trace(const char *path, FILE *out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(out, "error: cannot read the trace file %s: %s\n", path, std::strerror(errno));
        return 1;
    }
    std::map<std::string, export_total> totals;
    unsigned long long malformed = 0;
    for (std::string line; std::getline(in, line);) {
        std::string export_name;
        double microseconds = 0;
        if (!parse_line(line, export_name, microseconds)) {
            ++malformed;
            continue;
        }
        export_total &total = totals[export_name];
        total.microseconds += microseconds;
        ++total.calls;
    }
    if (in.bad()) {
        std::fprintf(out, "error: cannot read the trace file %s\n", path);
        return 1;
    }

    std::vector<std::pair<std::string, export_total>> rows(totals.begin(), totals.end());
    std::stable_sort(rows.begin(), rows.end(), [](const auto &left, const auto &right) {
        return left.second.microseconds > right.second.microseconds;
    });
    export_total all;
    for (const auto &row : rows) {
        all.microseconds += row.second.microseconds;
        all.calls += row.second.calls;
    }
    std::fprintf(out, "%% time     total us     calls      us/call export\n");
    print_rule(out);
    for (const auto &[name, total] : rows) {
        const double share = all.microseconds > 0 ? 100.0 * total.microseconds / all.microseconds : 0.0;
        std::fprintf(out, "%6.2f %12.3f %9llu %12.3f %s\n", share, total.microseconds, total.calls,
                     total.microseconds / static_cast<double>(total.calls), name.c_str());
    }
    print_rule(out);
    std::fprintf(out, "%6.2f %12.3f %9llu %12s total\n", all.calls > 0 ? 100.0 : 0.0, all.microseconds, all.calls,
                 "");
    if (malformed > 0) {
        std::fprintf(out, "error: %s: %llu line%s not in the trace format, skipped\n", path, malformed,
                     malformed == 1 ? "" : "s");
        return 1;
    }
    return 0;
}
