// The trace summary on hostile files: each file's lines, the output, the
// result, and what is said when the output cannot be written.
#include "call_trace/trace_format.h"
#include "support/file_text.h"
#include "support/scratch_layout.h"
#include "tools/trace/trace_summary.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

using tvc_test::file_text;

namespace {

// The header's wall-clock time places runs on the timeline: the epoch, a
// leap day, and a day that does not exist.
constexpr long long utc_microseconds(const char *text) {
    long long microseconds = -1;
    return tvc_trace::parse_utc_time(text, microseconds) ? microseconds : -1;
}
static_assert(utc_microseconds("1970-01-01T00:00:01.000002Z") == 1000002);
static_assert(utc_microseconds("2024-02-29T23:59:59.999999Z") == 1709251199999999);
static_assert(utc_microseconds("2026-02-29T00:00:00.000000Z") == -1);

std::string repeated(const std::string &line, int times) {
    std::string text;
    for (int index = 0; index < times; ++index) text += line;
    return text;
}

TEST(TraceSummary, TotalsPerExportAndRunAsTextOrJsonWithEveryFaultOfTheFileReported) {
    tvc_test::scratch_layout layout;
    const std::string trace = layout.dir() + "calls.trace";
    // Lines from before runs had headers, then a run with text arguments;
    // blank lines, CR CR LF and a note are no fault of the file.
    const std::string good = "12 vltClose_proxy(0x0) = 0 1.500us\n"
                             "12 kaGetPr_proxy(0x10) = 0x20 10.000us\n"
                             "\n"
                             "# pid=8 start=2026-01-02T03:04:05.000006Z exe=C:\\app dir\\app.exe\n"
                             "13 0.500 vltClose_proxy(0x0) = 0 2.500us\r\r\n"
                             " \t\r\n"
                             "# dropped=2\n"
                             "13 3.000 tvcFevalInternal_proxy(0x1, \"a) = b\", 1) = true 0.250us\n";
    const std::string rule = "------ ------------ --------- ------------ ------------------------------\n";
    const std::string columns = "% time     total us     calls      us/call export\n" + rule;
    const std::string first = "run 1: lines without a run header\n" + columns +
                              " 86.96       10.000         1       10.000 kaGetPr_proxy\n"
                              " 13.04        1.500         1        1.500 vltClose_proxy\n" +
                              rule + "100.00       11.500         2              total\n";
    const std::string second_rows = " 90.91        2.500         1        2.500 vltClose_proxy\n"
                                    "  9.09        0.250         1        0.250 tvcFevalInternal_proxy\n" +
                                    rule + "100.00        2.750         2              total\n";
    const std::string second =
        "run 2: pid 8, started 2026-01-02T03:04:05.000006Z, C:\\app dir\\app.exe\n" + columns + second_rows;
    const std::string json = R"({
  "file": "%",
  "runs": [
    {
      "run": 2,
      "pid": 8,
      "started": "2026-01-02T03:04:05.000006Z",
      "executable": "C:\\app dir\\app.exe",
      "calls": 2,
      "total_us": 2.75,
      "exports": [
        {
          "export": "vltClose_proxy",
          "calls": 1,
          "total_us": 2.5,
          "share_percent": 90.9090909090909
        },
        {
          "export": "tvcFevalInternal_proxy",
          "calls": 1,
          "total_us": 0.25,
          "share_percent": 9.090909090909092
        }
      ]
    }
  ]
}
)";
    const std::string json_path = std::regex_replace(trace, std::regex(R"(\\)"), R"(\\)");
    // Ten calls of 31 years each: more nanoseconds than 64 bits hold.
    const std::string overflowing = "# pid=9 start=2026-01-02T03:04:06.000000Z exe=big.exe\n" +
                                    repeated("14 1.000 vltClose_proxy(0x0) = 0 999999999999999.000us\n", 10);
    struct fixture {
        bool exists;
        std::string text;
        tvc_trace::trace_summary_options options;
        int result;
        std::string output;
    };
    const fixture fixtures[] = {
        {true, good, {}, 0, first + "\n" + second},
        {true, good, {"2", false}, 0, second},
        {true, good, {"2", true}, 0, std::regex_replace(json, std::regex("%"), json_path)},
        {true, good, {"3", true}, 1,
         "{\n  \"file\": \"" + json_path + "\",\n  \"runs\": [],\n  \"error\": \"the trace file " + json_path +
             " holds 2 runs, not run 3\"\n}\n"},
        {true, good, {"3", false}, 1, "error: the trace file " + trace + " holds 2 runs, not run 3\n"},
        // A number beyond every integer type is still named as written.
        {true, good, {"99999999999999999999999", false}, 1,
         "error: the trace file " + trace + " holds 2 runs, not run 99999999999999999999999\n"},
        // A time that is not a plain decimal number is no time at all.
        {true, good + "garbage\n12 0.1 vltClose_proxy(0x0) = 0 fastus\n12 0.1 (0x0) = 0 1.0us\n"
                      "12 0.1 vltClose_proxy(0x0) = 0 infus\n12 nan vltClose_proxy(0x0) = 0 1us\n"
                      // Thread ids beyond what they can be; a line longer than any the library writes.
                      "4294967296 0.1 vltClose_proxy(0x0) = 0 1us\n12 0.1 vltClose_proxy(" + std::string(1 << 17, 'x') + ") = 0 1us\n",
         {"2", false}, 1, second + "error: " + trace + ": 7 lines not in the trace format, skipped (the first is line 9)\n"},
        // The lines after a damaged header are a run of their own, not the run before.
        {true, good + "# pid=99999999999999999999 start=x exe=y\n13 0.1 kaGetPr_proxy(0x0) = 0 1.000us\n", {"2", false}, 1,
         second + "error: " + trace + ": 1 line not in the trace format, skipped (the first is line 9)\n"},
        // An overflowing run is left out, and the other faults are still told.
        {true, good + overflowing + "garbage\n", {}, 1,
         first + "\n" + second + "error: " + trace + ": the times of run 3 add up to more than can be counted; " + trace +
             ": 1 line not in the trace format, skipped (the first is line 20)\n"},
        // The executable path reaches the terminal with its control characters
        // escaped: C0, C1 of the code page, and C1 as a UTF-8 terminal reads the bytes.
        {true, "# pid=8 start=2026-01-02T03:04:05.000006Z exe=C:\\app\x1b]0;owned\x07\x1b[2J\x8d\xc2\x9b" "2J\xc2\xa9.exe\n",
         {}, 0,
         "run 1: pid 8, started 2026-01-02T03:04:05.000006Z, C:\\app\\x1b]0;owned\\x07\\x1b[2J\\u008d\\xc2\\x9b2J\xc2\xa9.exe\n" +
             columns + rule +
             "  0.00        0.000         0              total\n"},
        {false, "", {}, 1, "error: cannot read the trace file " + trace + ": "},
    };
    const std::string out_path = layout.dir() + "summary.txt";
    const std::string messages_path = layout.dir() + "messages.txt";
    for (const fixture &each : fixtures) {
        ::DeleteFileA(trace.c_str());
        if (each.exists) std::ofstream(trace, std::ios::binary) << each.text;
        FILE *out = std::fopen(out_path.c_str(), "wb");
        FILE *messages = std::fopen(messages_path.c_str(), "wb");
        ASSERT_NE(out, nullptr);
        ASSERT_NE(messages, nullptr);
        EXPECT_EQ(tvc_trace::summarize_trace(trace.c_str(), each.options, out, messages), each.result) << each.output;
        std::fclose(out);
        std::fclose(messages);
        const std::string output = file_text(out_path);
        if (each.exists) {
            EXPECT_EQ(output, each.output);
        } else {
            EXPECT_EQ(output.substr(0, each.output.size()), each.output);  // then the system's reason
        }
        EXPECT_EQ(file_text(messages_path), "");
    }

    // A summary that cannot be written is a failure, said where it can be read.
    std::ofstream(trace, std::ios::binary) << good;
    FILE *full = std::fopen("Z:\\dev\\full", "wb");
    ASSERT_NE(full, nullptr);
    FILE *messages = std::fopen(messages_path.c_str(), "wb");
    ASSERT_NE(messages, nullptr);
    EXPECT_EQ(tvc_trace::summarize_trace(trace.c_str(), {}, full, messages), 1);
    std::fclose(full);
    std::fclose(messages);
    EXPECT_EQ(file_text(messages_path), "error: cannot write the summary of " + trace + ": No space left on device\n");
}

}  // namespace
