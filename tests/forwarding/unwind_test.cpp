// Every shape of forwarded call left by every way a call can leave the
// library's frames, each in a process of its own (tests/forwarding/
// unwind_case.h says what the process checks). GCC's exceptions come from
// the MinGW-w64 test runtime into the forwarding host; the platform
// compiler's C++ exceptions, longjmp and structured exceptions come from
// the stand-in runtime built by that compiler into its own client
// (tests/forwarding/platform_runtime).
#include "common/code_page_text.h"
#include "support/file_text.h"
#include "support/scratch_layout.h"
#include "tests/forwarding/forwarding_host_run.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace tvc_test;

struct shape {
    const char *name;  // the unwind case's
    const char *traced_export;  // traced: the export whose line the trace must have
};
const shape shapes[] = {
    {"locked", nullptr},
    {"guarded", nullptr},
    {"direct", nullptr},
    {"locked", "tvcCreateSharedCopy_proxy"},
    {"direct", "tvcRunMain_proxy"},
    {"error-message", nullptr},
    {"feval", nullptr},
    {"kfn-feval", nullptr},
    {"initialize", nullptr},
    {"initialize2", nullptr},
    {"application", nullptr},
};
// "gcc" is the forwarding host's, over the MinGW-w64 test runtime; the
// others the platform client's, over the platform compiler's (VRTROOT).
const char *const ways[] = {"return", "gcc", "throw", "jump", "raise"};

struct row {
    shape of;
    std::string way;
    std::string trace;  // the trace file of a traced row
    child_run run;

    std::string name() const { return std::string(of.traced_export ? "traced " : "") + of.name + " / " + way; }
};

void run_row(row &each) {
    // Long enough for every bounded wait of a case to run out.
    constexpr DWORD child_limit_ms = 60000;
    const std::string root = executable_directory() + "platform_runtime";
    std::optional<std::wstring> trace;
    if (each.of.traced_export) trace = tvc::widened(each.trace);
    const std::wstring environment = environment_with(
        {{L"VRTROOT", tvc::widened(root)}, {L"TVCVRTRT_TRACE", trace}, {L"TVCVRTRT_TRACE_FILTER", std::nullopt}});
    const std::vector<std::string> arguments =
        each.way == "gcc" ? std::vector<std::string>{lib(test_runtime_dir), std::string("unwind:") + each.of.name}
                          : std::vector<std::string>{each.of.name, each.way};
    each.run = run_child(each.way == "gcc" ? "forwarding_host.exe" : "unwind_client.exe", arguments,
                         environment.c_str(), nullptr, child_limit_ms);
}

// The trace's line for the traced call: "<thread> <start> <export>(...) =
// <result> <duration>us", its result "exception" when the call was left.
void expect_trace_line(const row &each) {
    const std::string text = file_text(each.trace);
    const std::regex line("^[0-9]+ [0-9]+\\.[0-9]{3} " + std::string(each.of.traced_export) +
                          "\\(.*\\) = ([^ ]+) [0-9]+\\.[0-9]{3}us\r?$");
    std::istringstream lines(text);
    for (std::string candidate; std::getline(lines, candidate);) {
        std::smatch match;
        if (!std::regex_match(candidate, match, line)) continue;
        EXPECT_EQ(match[1] == "exception", each.way != "return") << each.name() << ": " << candidate;
        return;
    }
    ADD_FAILURE() << each.name() << ": no line for " << each.of.traced_export << " in the trace:\n" << text;
}

// A row that fails hides none of the others: each reports on its own, and
// a hang is bounded by the child's time limit. The processes run a few at
// a time, as a failing row spends most of its time waiting for a bound.
TEST(Unwind, EveryShapeLeftEveryWayFreesTheLockReopensTheInitializationAndKeepsItsTraceLine) {
    scratch_layout layout;
    std::vector<row> rows;
    for (const shape &of : shapes) {
        for (const char *way : ways) {
            rows.push_back({of, way, layout.dir() + "trace-" + std::to_string(rows.size()) + ".txt", {}});
        }
    }
    std::atomic<std::size_t> next{0};
    std::vector<std::thread> workers;
    for (int worker = 0; worker < 4; ++worker) {
        workers.emplace_back([&] {
            for (std::size_t index; (index = next++) < rows.size();) run_row(rows[index]);
        });
    }
    for (std::thread &worker : workers) worker.join();
    for (const row &each : rows) {
        const bool passed = each.run.exit_code == 0 && each.run.output.find("unwind case: ok\n") != std::string::npos;
        EXPECT_TRUE(passed) << each.name() << ": exit code 0x" << std::hex << each.run.exit_code << ", output:\n"
                            << each.run.output;
        if (each.of.traced_export) expect_trace_line(each);
    }
}

}  // namespace
