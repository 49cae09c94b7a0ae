// The call trace (TVCVRTRT_TRACE) in fresh processes (forwarding_host) over
// the test runtime, and its summary.
#include "common/unique_resource.h"
#include "support/family_sizes.h"
#include "support/scratch_layout.h"
#include "tests/forwarding/forwarding_host_run.h"
#include "tools/trace_summary.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using tvc_test::host_output;

std::string lib() { return tvc_test::lib(tvc_test::test_runtime_dir); }

std::string file_text(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> lines_of(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The run's header, then each line "<thread> <start> <expected> <time>us",
// where <ptr> in expected stands for an address the test cannot know (a
// list, a register the caller did not set) and <hex> for hexadecimal digits
// the test does not know; the starts do not go back.
void expect_trace(const std::vector<std::string> &lines, const std::string &thread,
                  const std::vector<std::string> &expected) {
    ASSERT_EQ(lines.size(), expected.size() + 1) << "a header and one line per call";
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(^# pid=[0-9]+ start=20[0-9-]{8}T[0-9:]{8}\.[0-9]{6}Z exe=.*\\forwarding_host\.exe$)")))
        << lines[0];
    double last_start = 0;
    for (std::size_t index = 1; index < lines.size(); ++index) {
        const std::string escaped = std::regex_replace(expected[index - 1], std::regex(R"([()\[\]{}.+*?^$|\\])"), R"(\$&)");
        const std::regex line_format("^" + thread + " ([0-9]+\\.[0-9]{3}) " +
                                     std::regex_replace(std::regex_replace(escaped, std::regex("<ptr>"), "0x[0-9a-f]+"),
                                                        std::regex("<hex>"), "[0-9a-f]*") +
                                     R"( [0-9]+\.[0-9]{3}us$)");
        std::smatch match;
        EXPECT_TRUE(std::regex_match(lines[index], match, line_format))
            << "line " << index << ": " << lines[index] << "\nexpected: " << thread << " <start> "
            << expected[index - 1] << " <time>us";
        if (match.empty()) continue;
        EXPECT_GE(std::stod(match[1]), last_start) << lines[index];
        last_start = std::stod(match[1]);
    }
}

TEST(call_trace, one_exact_line_per_forwarded_call_of_every_shape_and_the_runtime_sees_no_difference) {
    tvc_test::scratch_layout layout;
    const std::string trace = layout.dir() + "calls.trace";
    // The runtime refuses the first initialization, so that the second binds
    // again over the traced slots; one more installation finds them traced.
    const std::string output = host_output(
        {lib(), "trace:" + trace, "result:vltClose=-5", "result:kaCreateDoubleMatrix_730=-82190691052027904",
         "result:tvcIsFinite=0", "result:tvcGetEps=4372995238176751616", "result:tvcGetBLDTargetType=-3",
         "result:tvcMakeOutputHandler=4660", "result:tvcRunMain=9", "result:tvcvrtInitialize=0", "init",
         "result:tvcvrtInitialize=1", "init", "install-trace", "journal", "traced-calls", "journal", "traced-texts", "traced-jump",
         "raise-elsewhere", "ten-mixed"});
    const std::size_t thread_line = output.find("thread=");
    ASSERT_NE(thread_line, std::string::npos) << output;
    EXPECT_EQ(output.substr(0, output.find('\n')), "init=0");
    const std::vector<std::string> reported = lines_of(output.substr(thread_line));
    const std::string thread = reported[0].substr(7);

    const std::vector<std::string> runtime_calls(reported.begin() + 1, reported.end());
    // The host's report of the throwing call, then the runtime's journal.
    EXPECT_EQ(runtime_calls, (std::vector<std::string>{
                                 "caught=vltOpen lock=0",
                                 "caught=tvcRunMain lock=0",
                                 "vltClose(p:f00d00000001) lock=1",
                                 "kaCreateDoubleMatrix_730(z:100000003, z:4, i:0) lock=1",
                                 "tvcGetScalarSingle(p:0, f:0x1.8p+0, f:-0x1.99999ap-4, i:2) lock=1",
                                 "tvcIsFinite(d:0x1.4p+1) lock=1",
                                 "tvcGetEps() lock=1",
                                 "tvcGetScalarChar(p:f00d00000001, h:b001) lock=1",
                                 "tvcGetBLDTargetType(c:a5) lock=1",
                                 "tvcMakeOutputHandler(p:f00d00000001) lock=1",
                                 "tvcTerminateApplication() lock=1",
                                 "tvcRunMain(p:f00d00000001, i:-7, p:0) lock=0",
                                 "tvcKfnVFeval(p:123456789, p:0, i:1, i:2, i:2, list: z:500000000 z:6) lock=1",
                                 "kaVErrMsgIdAndTxt(\"\", \"%d\", list:7) lock=2",
                                 "vltOpen(p:f00d00000001, p:0) lock=1",
                                 "tvcRunMain(p:f00d00000001, i:1, p:0) lock=0",
                                 // Not a runtime call: the traced direct forwarder handed on all ten.
                                 // A direct call left by a jump leaves no line and no
                                 // stale return address for the exception after it.
                                 "caught=after the jump",
                                 // An exception on a thread without direct calls leaves the
                                 // pending call alone and gives the thread no stack for them.
                                 "caught=elsewhere",
                                 "stacks=+0",
                                 "ten-mixed=same",
                             }));

    // Text arguments quoted and escaped; an address that holds no text as itself.
    const std::string library_dir = std::regex_replace(tvc_test::test_runtime_dir, std::regex(R"(\\)"), R"(\\)");
    std::vector<std::string> path_macros;
    for (const std::string &arguments :
         {std::string(R"("$MODULEDIR", "C:\\module\\")"), "\"$RUNTIMELIBDIR\", \"" + library_dir + "\"",
          std::string(R"("$VRTROOT", "C:\\root\\")"), std::string(R"("$TOOLBOXTOVANDIR", "")"),
          std::string(R"("$TOOLBOXPREFIX", "C:\\prefix\\")"), std::string(R"("$TOOLBOXDEPLOYDIR", "C:\\prefix\\compiler\\")")}) {
        path_macros.push_back("tvcAddCanonicalPathMacro_proxy(" + arguments + ") = void");
    }
    std::vector<std::string> expected = path_macros;
    // A direct forwarder's line: the four integer argument registers, then
    // "...", and rax in full; a boolean is only its lowest byte.
    const std::string initialize = "tvcvrtInitializeInternal_proxy(<ptr>, <ptr>, <ptr>, <ptr>, ...) = 0x<hex>";
    expected.push_back(std::regex_replace(initialize, std::regex("<hex>"), "<hex>0"));
    expected.insert(expected.end(), path_macros.begin(), path_macros.end());
    expected.insert(expected.end(), {
                                        std::regex_replace(initialize, std::regex("<hex>"), "<hex>1"),
                                        "tvcSetEngState_proxy(3) = true",
                                        "vltClose_proxy(0xf00d00000001) = -5",
                                        "kaCreateDoubleMatrix_730_proxy(4294967299, 4, 0) = 0xfedc000080000000",
                                        "tvcGetScalarSingle_proxy(0x0, 1.5, -0.100000001, 2) = 0",
                                        "tvcIsFinite_proxy(2.5) = false",
                                        "tvcGetEps_proxy() = 2.2204460492503131e-16",
                                        "tvcGetScalarChar_proxy(0xf00d00000001, 45057) = 0",
                                        "tvcGetBLDTargetType_proxy(165) = -3",
                                        "tvcMakeOutputHandler_proxy(0xf00d00000001) = {0x1234, 0x0}",
                                        "tvcTerminateApplication_proxy() = true",
                                        "tvcRunMain_proxy(0xf00d00000001, 0x<hex>fffffff9, 0x0, <ptr>, ...) = 0x9",
                                        // The variable arguments travel as one list, shown by its address.
                                        "tvcKfnVFevalInternal_proxy(0x123456789, 0x0, 1, 2, 2, <ptr>) = true",
                                        "kaVErrMsgIdAndTxt_proxy(\"\", \"%d\", <ptr>) = void",
                                        "vltOpen_proxy(0xf00d00000001, 0x0) = exception",
                                        "tvcRunMain_proxy(0xf00d00000001, 0x<hex>1, 0x0, <ptr>, ...) = exception",
                                        "tvcFevalInternal_proxy(0x1, \"" + std::string(64, 'x') + "\"..., 0, 0x0, 0, 0x0) = true",
                                        R"(tvcSetLastErrIdAndMsg_proxy("say:\"hi\"\\", "tab\tline\nbell\x07\x7fend") = void)",
                                        // rcx, xmm1 (rdx unset), r8, xmm3 (r9 unset); the rest on the stack.
                                        "tvcRunMain_proxy(0x0, 0x<hex>0, 0x0, <ptr>, ...) = 0x9",
                                        "tvcRunMain_proxy(0x1, <ptr>, 0x<hex>fffffffd, <ptr>, ...) = <ptr>",
                                    });
    expect_trace(lines_of(file_text(trace)), thread, expected);
}

TEST(call_trace, lines_of_threads_calling_at_once_stay_whole) {
    tvc_test::scratch_layout layout;
    const std::string trace = layout.dir() + "calls.trace";
    host_output({lib(), "trace:" + trace, "init", "traced-threads"});
    const std::vector<std::string> lines = lines_of(file_text(trace));
    ASSERT_EQ(lines.size(), 9u + 4 * 250);
    const std::regex whole_line(
        R"(^[0-9]+ [0-9]+\.[0-9]{3} tvcWrite_proxy\(0x([1-4]), 0x0, 0x[0-9a-f]+, 0x[0-9a-f]+, \.\.\.\) = 0x0 [0-9]+\.[0-9]{3}us$)");
    int calls_of[5] = {};
    for (std::size_t index = 9; index < lines.size(); ++index) {
        std::smatch match;
        if (std::regex_match(lines[index], match, whole_line)) {
            ++calls_of[std::stoi(match[1])];
        } else {
            ADD_FAILURE() << "line " << index << ": " << lines[index];
        }
    }
    for (int thread = 1; thread <= 4; ++thread) EXPECT_EQ(calls_of[thread], 250) << "thread " << thread;
}

TEST(call_trace, slots_keep_the_bound_addresses_unless_the_trace_file_opens) {
    tvc_test::scratch_layout layout;
    const std::string missing = layout.dir() + "missing\\calls.trace";
    const std::string trace = layout.dir() + "calls.trace";
    const tvc_test::long_path_directory long_dir(layout.dir(), {std::string(120, 'a'), std::string(120, 'b')});
    const std::string long_trace = long_dir.path() + std::string(100, 'c') + ".trace";
    ASSERT_TRUE(long_dir.created());
    ASSERT_GT(long_trace.size(), static_cast<std::size_t>(MAX_PATH));
    struct setting {
        std::vector<std::string> commands;
        std::string message;
        std::string slots;
    };
    const auto wrapped = [](std::size_t slots) { return "wrapped=" + std::to_string(slots) + "\n"; };
    const std::string traced = wrapped(tvc_test::traced_slots);
    const setting settings[] = {
        {{lib(), "init", "wrapped"}, "", "wrapped=0\n"},
        {{lib(), "trace:" + missing, "init", "wrapped"},
         "Calls are not traced: cannot open " + missing + " named by TVCVRTRT_TRACE Error: ", "wrapped=0\n"},
        // All but the two lock slots and the one that is only tested.
        {{lib(), "trace:" + trace, "init", "wrapped"}, "", traced},
        {{lib(), "trace:" + long_trace, "init", "wrapped"}, "", traced},
        // The exports a filter leaves out keep their bound addresses: the
        // array family but its tested slot; three by name; all but five.
        {{lib(), "trace:" + trace, "filter:ka*", "init", "wrapped"}, "", wrapped(tvc_test::array_slots - 1)},
        {{lib(), "trace:" + trace, "filter:tvcFeval*,tvcKfn?Feval*,vltOpen_proxy", "init", "wrapped"}, "", wrapped(3)},
        {{lib(), "trace:" + trace, "filter:*,!kaGetPr_proxy,!*Feval*", "init", "wrapped"}, "",
         wrapped(tvc_test::traced_slots - 5)},
        {{lib(), "trace:" + trace, "filter:!kaGetPr_proxy", "init", "wrapped"}, "", wrapped(tvc_test::traced_slots - 1)},
    };
    const std::string bad_pattern = "Calls are not traced: bad pattern \"%\" in TVCVRTRT_TRACE_FILTER (export names with * "
                                    "and ?, separated by commas, each may start with !)\n";
    // A bad pattern and the item it reports; nothing is traced, nothing opened.
    // A character the code page cannot hold is no name character, not the "?" it narrows to.
    const std::pair<std::string, std::string> bad_filters[] = {
        {"ka*,", ""}, {"ka*,!", "!"}, {"ka!*", "ka!*"}, {"ka *", "ka *"}, {"ka\u65e5*", "ka?*"}};
    for (const auto &[filter, item] : bad_filters) {
        const std::string output = host_output({lib(), "trace:" + missing, "filter:" + filter, "init", "wrapped"});
        EXPECT_EQ(output, std::regex_replace(bad_pattern, std::regex("%"), item) + "init=1\nwrapped=0\n") << filter;
    }
    for (const setting &each : settings) {
        const std::string output = host_output(each.commands);
        const std::size_t result = output.find("init=");
        ASSERT_NE(result, std::string::npos) << output;
        EXPECT_EQ(output.substr(result), "init=1\n" + each.slots);
        const std::string printed = output.substr(0, result);
        EXPECT_EQ(printed.substr(0, each.message.size()), each.message);
        EXPECT_EQ(printed.empty(), each.message.empty()) << printed;
    }
    // A later run appends a header and the initialization's eight calls.
    ::DeleteFileA(trace.c_str());
    host_output({lib(), "trace:" + trace, "init"});
    host_output({lib(), "trace:" + trace, "init"});
    EXPECT_EQ(lines_of(file_text(trace)).size(), 18u);
    const tvc::unique_handle long_file(::CreateFileW(tvc_test::unlimited(long_trace).c_str(), GENERIC_READ,
                                                     FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size{};
    EXPECT_TRUE(::GetFileSizeEx(long_file.get(), &size));
    EXPECT_GT(size.QuadPart, 0);
}

TEST(trace_summary, totals_per_export_and_run_as_text_or_json_with_malformed_lines_counted) {
    tvc_test::scratch_layout layout;
    const std::string trace = layout.dir() + "calls.trace";
    // Lines from before runs had headers, then a run with text arguments.
    const std::string good = "12 vltClose_proxy(0x0) = 0 1.500us\n"
                             "12 kaGetPr_proxy(0x10) = 0x20 10.000us\n"
                             "# pid=8 start=2026-01-02T03:04:05.000006Z exe=C:\\app dir\\app.exe\n"
                             "13 0.500 vltClose_proxy(0x0) = 0 2.500us\r\n"
                             "13 3.000 tvcFevalInternal_proxy(0x1, \"a) = b\", 1) = true 0.250us\n";
    const std::string rule = "------ ------------ --------- ------------ ------------------------------\n";
    const std::string columns = "% time     total us     calls      us/call export\n" + rule;
    const std::string first = "run 1: lines without a run header\n" + columns +
                              " 86.96       10.000         1       10.000 kaGetPr_proxy\n"
                              " 13.04        1.500         1        1.500 vltClose_proxy\n" +
                              rule + "100.00       11.500         2              total\n";
    const std::string second = "run 2: pid 8, started 2026-01-02T03:04:05.000006Z, C:\\app dir\\app.exe\n" + columns +
                               " 90.91        2.500         1        2.500 vltClose_proxy\n"
                               "  9.09        0.250         1        0.250 tvcFevalInternal_proxy\n" +
                               rule + "100.00        2.750         2              total\n";
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
    std::string json_path = std::regex_replace(trace, std::regex(R"(\\)"), R"(\\)");
    struct fixture {
        bool exists;
        std::string text;
        trace_summary_options options;
        int result;
        std::string output;
    };
    const fixture fixtures[] = {
        {true, good, {}, 0, first + "\n" + second},
        {true, good, {2, false}, 0, second},
        {true, good, {2, true}, 0, std::regex_replace(json, std::regex("%"), json_path)},
        {true, good, {3, false}, 1, "error: the trace file " + trace + " holds 2 runs, not run 3\n"},
        // A time that is not a plain decimal number is no time at all.
        {true, good + "garbage\n12 0.1 vltClose_proxy(0x0) = 0 fastus\n12 0.1 (0x0) = 0 1.0us\n"
                      "12 0.1 vltClose_proxy(0x0) = 0 infus\n12 nan vltClose_proxy(0x0) = 0 1us\n"
                      // Thread and process ids beyond what they can be.
                      "4294967296 0.1 vltClose_proxy(0x0) = 0 1us\n# pid=99999999999999999999 start=x exe=y\n",
         {2, false}, 1, second + "error: " + trace + ": 7 lines not in the trace format, skipped (the first is line 6)\n"},
        {false, "", {}, 1, "error: cannot read the trace file " + trace + ": No such file or directory\n"},
    };
    for (const fixture &each : fixtures) {
        ::DeleteFileA(trace.c_str());
        if (each.exists) std::ofstream(trace, std::ios::binary) << each.text;
        const std::string out_path = layout.dir() + "summary.txt";
        FILE *out = std::fopen(out_path.c_str(), "wb");
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(summarize_trace(trace.c_str(), each.options, out), each.result);
        std::fclose(out);
        EXPECT_EQ(file_text(out_path), each.output);
    }
}

}  // namespace
