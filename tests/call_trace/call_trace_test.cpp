// The call trace (TVCVRTRT_TRACE) in fresh processes (forwarding_host) over
// the test runtime.
#include "call_trace/trace_format.h"
#include "call_trace/trace_line.h"
#include "call_trace/trace_output.h"
#include "common/unique_resource.h"
#include "support/family_sizes.h"
#include "support/file_text.h"
#include "support/scratch_layout.h"
#include "tests/forwarding/forwarding_host_run.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <xmmintrin.h>

#include <algorithm>
#include <cerrno>
#include <cfenv>
#include <cstdio>
#include <cstring>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

using tvc_test::file_text;

namespace {

using tvc_test::host_output;

std::string lib() { return tvc_test::lib(tvc_test::test_runtime_dir); }

std::vector<std::string> lines_of(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The run's header, then one line "<thread> <start> <expected> <time>us" for
// each expected call, all of one thread, where <ptr> in expected stands for
// an address the test cannot know (a list, a register the caller did not
// set) and <hex> for hexadecimal digits the test does not know; the starts do
// not go back. A missing or an extra line is named, and the lines after it
// are still matched with theirs.
void expect_trace(const std::vector<std::string> &lines, const std::vector<std::string> &expected,
                  const std::string &executable = "forwarding_host") {
    ASSERT_FALSE(lines.empty()) << "no header";
    const std::string clock =
        tvc::trace::time_stamp_counter_trusted(tvc::trace::time_stamp_counter_of_processor()) ? "tsc" : "qpc";
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(^# pid=[0-9]+ start=20[0-9-]{8}T[0-9:]{8}\.[0-9]{6}Z clock=)" + clock + R"(:[1-9][0-9]* exe=.*\\)" + executable + R"(\.exe$)")))
        << lines[0];
    std::smatch match;
    const auto matches = [&](std::size_t line, std::size_t call) {
        if (line >= lines.size() || call >= expected.size()) return false;
        const std::string escaped = std::regex_replace(expected[call], std::regex(R"([()\[\]{}.+*?^$|\\])"), R"(\$&)");
        return std::regex_match(lines[line], match,
                                std::regex("^([0-9]+) ([0-9]+\\.[0-9]{3}) " +
                                           std::regex_replace(std::regex_replace(escaped, std::regex("<ptr>"), "0x[0-9a-f]+"),
                                                              std::regex("<hex>"), "[0-9a-f]*") +
                                           R"( [0-9]+\.[0-9]{3}us$)"));
    };
    std::string thread;
    double last_start = 0;
    for (std::size_t line = 1, call = 0; line < lines.size() || call < expected.size();) {
        if (matches(line, call)) {
            if (thread.empty()) thread = match[1];
            EXPECT_EQ(match[1], thread) << lines[line];
            EXPECT_GE(std::stod(match[2]), last_start) << lines[line];
            last_start = std::stod(match[2]);
            ++line, ++call;
        } else if (line >= lines.size() || matches(line, call + 1)) {
            ADD_FAILURE() << "no line for " << expected[call++];
        } else if (call >= expected.size() || matches(line + 1, call)) {
            ADD_FAILURE() << "a line too many: " << lines[line++];
        } else {
            ADD_FAILURE() << "line " << line << ": " << lines[line] << "\nexpected: <thread> <start> " << expected[call]
                          << " <time>us";
            ++line, ++call;
        }
    }
}

// The initialization's calls, as the first initialization makes them.
std::vector<std::string> initialization_lines(const char *initialized = "1") {
    const std::string library_dir = std::regex_replace(tvc_test::test_runtime_dir, std::regex(R"(\\)"), R"(\\)");
    std::vector<std::string> lines;
    for (const std::string &arguments :
         {std::string(R"("$MODULEDIR", "C:\\module\\")"), "\"$RUNTIMELIBDIR\", \"" + library_dir + "\"",
          std::string(R"("$VRTROOT", "C:\\root\\")"), std::string(R"("$TOOLBOXTOVANDIR", "")"),
          std::string(R"("$TOOLBOXPREFIX", "C:\\prefix\\")"), std::string(R"("$TOOLBOXDEPLOYDIR", "C:\\prefix\\compiler\\")")}) {
        lines.push_back("tvcAddCanonicalPathMacro_proxy(" + arguments + ") = void");
    }
    // A direct forwarder's line: the four integer argument registers, then
    // "...", and rax in full; a boolean is only its lowest byte.
    lines.push_back(std::string("tvcvrtInitializeInternal_proxy(<ptr>, <ptr>, <ptr>, <ptr>, ...) = 0x<hex>") + initialized);
    if (initialized[0] == '1') lines.push_back("tvcSetEngState_proxy(3) = true");
    return lines;
}

std::vector<std::string> operator+(std::vector<std::string> first, const std::vector<std::string> &second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// One traced process per case: what it printed after the initialization's
// runtime calls (the first "journal"), and its trace's lines; the runtime
// sees each call as it would untraced.
// The time-stamp counter only where it is invariant and no hypervisor runs
// the system, which may move it to another host, or where the hypervisor
// says it keeps the counter steady; the performance counter otherwise. The
// header above names the clock that this rule picks here.
TEST(CallTrace, TheTimeStampCounterIsTheClockOnlyWhereNoHypervisorCanMoveIt) {
    const struct {
        bool invariant, under_hypervisor, kept_steady, trusted;
    } cases[] = {{true, false, false, true},  {true, true, false, false},  {true, true, true, true},
                 {false, false, false, false}, {false, true, true, false}};
    for (const auto &c : cases) {
        EXPECT_EQ(tvc::trace::time_stamp_counter_trusted({c.invariant, c.under_hypervisor, c.kept_steady}),
                  c.trusted)
            << c.invariant << c.under_hypervisor << c.kept_steady;
    }
}

TEST(CallTrace, OneExactLinePerForwardedCallOfEveryShapeAndTheRuntimeSeesNoDifference) {
    tvc_test::scratch_layout layout;
    struct traced_case {
        const char *what;
        std::vector<std::string> commands;
        std::string output;
        std::vector<std::string> lines;
    };
    const std::vector<std::string> initialized = {"init", "journal"};
    const traced_case cases[] = {
        // The runtime refuses the first initialization, so that the second
        // binds again over the traced slots; one more installation finds
        // them traced and wraps none twice.
        {"initialization",
         {"result:tvcvrtInitialize=0", "init", "result:tvcvrtInitialize=1", "init", "install-trace"},
         "init=0\ninit=1\n",
         initialization_lines("0") + initialization_lines()},
        {"one call of each shape",
         std::vector<std::string>{"result:vltClose=-5", "result:kaCreateDoubleMatrix_730=-82190691052027904",
                                  "result:tvcIsFinite=0", "result:tvcGetEps=4372995238176751616",
                                  "result:tvcGetBLDTargetType=-3", "result:tvcMakeOutputHandler=4660",
                                  "result:tvcRunMain=9"} +
             initialized + std::vector<std::string>{"traced-calls", "journal"},
         "caught=vltOpen lock=0\n"
         "caught=tvcRunMain lock=0\n"
         "vltClose(p:f00d00000001) lock=1\n"
         "kaCreateDoubleMatrix_730(z:100000003, z:4, i:0) lock=1\n"
         "tvcGetScalarSingle(p:0, f:0x1.8p+0, f:-0x1.99999ap-4, i:2) lock=1\n"
         "tvcIsFinite(d:0x1.4p+1) lock=1\n"
         "tvcGetEps() lock=1\n"
         "tvcGetScalarChar(p:f00d00000001, h:b001) lock=1\n"
         "tvcGetBLDTargetType(c:a5) lock=1\n"
         "tvcMakeOutputHandler(p:f00d00000001) lock=1\n"
         "tvcTerminateApplication() lock=1\n"
         "tvcRunMain(p:f00d00000001, i:-7, p:0) lock=0\n"
         "tvcKfnVFeval(p:123456789, p:0, i:1, i:2, i:2, list: z:500000000 z:6) lock=1\n"
         "kaVErrMsgIdAndTxt(\"\", \"%d\", list:7) lock=2\n"
         "vltOpen(p:f00d00000001, p:0) lock=1\n"
         "tvcRunMain(p:f00d00000001, i:1, p:0) lock=0\n",
         initialization_lines() + std::vector<std::string>{
                                      "vltClose_proxy(0xf00d00000001) = -5",
                                      "kaCreateDoubleMatrix_730_proxy(4294967299, 4, 0) = 0xfedc000080000000",
                                      "tvcGetScalarSingle_proxy(0x0, 1.5, -0.1, 2) = 0",
                                      "tvcIsFinite_proxy(2.5) = false",
                                      "tvcGetEps_proxy() = 2.220446049250313e-16",
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
                                  }},
        // Text arguments quoted and escaped, cut after 64 bytes; an address
        // that holds no text as itself.
        {"texts", initialized + std::vector<std::string>{"traced-texts"}, "",
         initialization_lines() + std::vector<std::string>{
                                      "tvcFevalInternal_proxy(0x1, \"" + std::string(64, 'x') + "\"..., 0, 0x0, 0, 0x0) = true",
                                      R"(tvcSetLastErrIdAndMsg_proxy("say:\"hi\"\\", "tab\tline\nbell\x07\x7fend") = void)",
                                  }},
        // A direct call left by a jump leaves no line and no stale return
        // address for the exception after it.
        {"jump", initialized + std::vector<std::string>{"traced-jump"}, "caught=after the jump\n", initialization_lines()},
        // An exception on another thread leaves the pending call alone.
        {"exception elsewhere", std::vector<std::string>{"result:tvcRunMain=9"} + initialized + std::vector<std::string>{"raise-elsewhere"},
         "caught=elsewhere\n",
         initialization_lines() + std::vector<std::string>{"tvcRunMain_proxy(0x0, 0x<hex>0, 0x0, <ptr>, ...) = 0x9"}},
        // The traced direct forwarder hands on all ten: rcx, xmm1 (rdx
        // unset), r8, xmm3 (r9 unset); the rest on the stack.
        {"ten mixed arguments", initialized + std::vector<std::string>{"ten-mixed"}, "ten-mixed=same\n",
         initialization_lines() + std::vector<std::string>{"tvcRunMain_proxy(0x1, <ptr>, 0x<hex>fffffffd, <ptr>, ...) = <ptr>"}},
    };
    // The first journal: the initialization's runtime calls, which end so.
    const std::string initialization_journal_end = "tvcSetEngState(i:3) lock=1\n";
    for (const traced_case &each : cases) {
        SCOPED_TRACE(each.what);
        const std::string trace = layout.dir() + "calls.trace";
        ::DeleteFileA(trace.c_str());
        std::string output = host_output(std::vector<std::string>{lib(), "trace:" + trace} + each.commands);
        const std::size_t journal_end = output.find(initialization_journal_end);
        if (journal_end != std::string::npos) output = output.substr(journal_end + initialization_journal_end.size());
        EXPECT_EQ(std::regex_replace(output, std::regex("thread=[0-9]+\n"), ""), each.output);
        expect_trace(lines_of(file_text(trace)), each.lines);
    }
}

// What the program sees of itself, run untraced and traced: stack walks
// inside a direct call (the tracing entry is one more frame, which both
// walks pass), fibers that leave traced calls out of order or are deleted
// inside one, and the last error, errno and floating-point state as the
// bound function left them.
TEST(CallTrace, TheProgramSeesTheSameTracedAsUntraced) {
    tvc_test::scratch_layout layout;
    const std::string trace = layout.dir() + "calls.trace";
    struct scenario {
        std::string command;
        std::string untraced;
    };
    const std::string upward = std::to_string(FE_UPWARD);
    // The denormal argument itself raises the denormal flag (0x2), traced or not.
    const scenario scenarios[] = {
        {"walk", "caller=yes\nhandler-caller=yes\n"},
        {"fibers", "caught=after the fibers\nfibers=done\n"},
        {"returned-registers", "registers=1111 2222 3333 4444 5555 6666 \n"},
        {"program-state", "state locked-double-result error=4242 errno=33 fp=0x0 round=" + upward +
                              "\nstate direct error=4242 errno=33 fp=0x0 round=" + upward +
                              "\nstate locked-null-text error=4242 errno=33 fp=0x0 round=0"
                              "\nstate locked-denormal-argument error=4242 errno=33 fp=0x2 round=0\n"},
    };
    const std::regex frames("frames=([0-9]+) ");
    for (const scenario &each : scenarios) {
        std::string untraced = host_output({lib(), "init", each.command});
        std::string traced = host_output({lib(), "trace:" + trace, "init", each.command});
        std::smatch untraced_frames, traced_frames;
        if (std::regex_search(untraced, untraced_frames, frames) && std::regex_search(traced, traced_frames, frames)) {
            EXPECT_EQ(std::stoi(traced_frames[1]), std::stoi(untraced_frames[1]) + 1) << traced;
            untraced = std::regex_replace(untraced, frames, "");
            traced = std::regex_replace(traced, frames, "");
        }
        EXPECT_EQ(untraced, "init=1\n" + each.untraced) << each.command;
        EXPECT_EQ(traced, untraced) << each.command;
    }
}

// The program frees the library while another thread is inside
// tvcRunMain_proxy. The call returns its result either way. Untraced the
// library leaves at once: the forwarder jumped to the runtime, so none of
// its code is on that thread's stack. Traced, the tracing entry is a frame
// of the library that the runtime's function returns into, so the library
// stays until the process ends.
TEST(CallTrace, ACallPendingWhileTheProgramFreesTheLibraryReturns) {
    tvc_test::scratch_layout layout;
    const std::string dll = layout.install_dll("unload");
    for (std::size_t family = 0; family < tvc::family_count; ++family) {
        const std::string library(tvc::families[family].file);
        ASSERT_TRUE(::CopyFileA((tvc_test::test_runtime_dir + library).c_str(), (layout.dir("unload") + library).c_str(),
                                TRUE))
            << library;
    }
    const std::string trace = layout.dir() + "calls.trace";
    for (const bool traced : {false, true}) {
        std::vector<std::string> arguments{dll};
        if (traced) arguments.push_back(trace);
        const tvc_test::child_run run =
            tvc_test::run_child("unload_host.exe", arguments, static_cast<const char *>(nullptr), nullptr, 60000);
        const char *const how = traced ? "traced" : "untraced";
        EXPECT_EQ(run.exit_code, 0u) << how;
        EXPECT_EQ(run.output, traced ? "freed=still loaded\nresult=9\n" : "freed=unloaded\nresult=9\n") << how;
    }
    EXPECT_TRUE(std::regex_search(file_text(trace), std::regex(R"(\n[0-9]+ [0-9.]+ tvcRunMain_proxy\(0x0, .*\) = 0x9 )")))
        << "the call went through the tracing entry";
}

// The trace's own output: numbers whatever locale the program sets; a pipe
// that the program reads, and one line when it stops taking lines; a file
// per process through %p; a process that exits while its threads write.
TEST(CallTrace, LinesReachTheirFileWhateverTheProgramDoes) {
    tvc_test::scratch_layout layout;
    const std::string trace = layout.dir() + "calls.trace";

    EXPECT_EQ(host_output({lib(), "trace:" + trace, "init", "decimal-comma"}), "init=1\nprintf=2,5\n");
    std::vector<std::string> lines = lines_of(file_text(trace));
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().find(" tvcIsFinite_proxy(2.5) = true "), std::string::npos) << lines.back();

    // The header, the initialization's eight calls and vltClose_proxy's.
    const std::string piped = host_output({lib(), "pipe:tvc-trace-" + std::to_string(::GetCurrentProcessId())});
    const std::string stopped = "Calls are no longer traced: writing to the file named by TVCVRTRT_TRACE failed Error: ";
    const std::vector<std::string> piped_lines = lines_of(piped);
    EXPECT_EQ(piped_lines.size(), 3u) << "one line about the failed write: " << piped;
    EXPECT_EQ(piped.substr(0, piped.find(stopped)), "init=1\npipe=10 first=#\n");
    EXPECT_EQ(piped_lines.back().substr(0, stopped.size()), stopped);

    host_output({lib(), "trace:" + layout.dir() + "run-%p.trace", "init"});
    WIN32_FIND_DATAA found;
    const HANDLE search = ::FindFirstFileA((layout.dir() + "run-*.trace").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    ::FindClose(search);
    const std::string pid = std::string(found.cFileName).substr(4, std::strlen(found.cFileName) - 10);
    EXPECT_EQ(lines_of(file_text(layout.dir() + found.cFileName))[0].substr(0, 6 + pid.size() + 1), "# pid=" + pid + " ");

    // A pipe whose reader keeps it open and reads nothing: once its buffer
    // is full, the next line waits a second, then the trace stops with one
    // line, and the program ends.
    const std::string unread = "tvc-unread-" + std::to_string(::GetCurrentProcessId());
    EXPECT_EQ(host_output({lib(), "pipe-unread:" + unread}),
              "init=1\nCalls are no longer traced: the reader of \\\\.\\pipe\\" + unread +
                  " named by TVCVRTRT_TRACE took no line for a second\ncalls=done\n");

    // A thread ended while it maps a stretch holds the mapping's lock for
    // ever: one line waits for it in vain, the lines after it only try it,
    // and every line dropped, the notes' own counts included, is counted.
    const std::string held = layout.dir() + "held.trace";
    const tvc_test::child_run held_run = tvc_test::run_child(
        "forwarding_host.exe", {lib(), "trace:" + held, "init", "mapping-held"}, static_cast<const char *>(nullptr),
        nullptr, 60000);
    EXPECT_EQ(held_run.exit_code, 0u) << held_run.output;
    const std::string held_text = file_text(held);
    unsigned long long written = 0, dropped = 0;
    for (const std::string &line : lines_of(held_text)) {
        const std::string text = line.substr(std::min(line.find_first_not_of('\0'), line.size()));
        if (text.find(" tvcWrite_proxy(") != std::string::npos) ++written;
        if (text.rfind("# dropped=", 0) == 0) dropped += std::stoull(text.substr(10));
    }
    EXPECT_GT(dropped, 0u);
    EXPECT_EQ(written + dropped, 60000u) << written << " written, " << dropped << " dropped";

    // Four threads write lines when the process exits; a call from the exit
    // callback returns, its line written or counted as dropped.
    const std::string exiting = layout.dir() + "exiting.trace";
    const tvc_test::child_run run =
        tvc_test::run_child("forwarding_host.exe", {lib(), "trace:" + exiting, "init", "exit-while-tracing"},
                            static_cast<const char *>(nullptr), nullptr, 30000);
    EXPECT_EQ(run.exit_code, 0u);
    EXPECT_EQ(run.output, "init=1\ndetach-call=returned\n");
    lines = lines_of(file_text(exiting));
    ASSERT_FALSE(lines.empty());
    // A thread that the exit ended after taking a line's space leaves zero
    // bytes there, which the readers pass over.
    const std::string last = lines.back().substr(std::min(lines.back().find_first_not_of('\0'), lines.back().size()));
    EXPECT_TRUE(std::regex_match(last, std::regex(R"(# dropped=[0-9]+|[0-9]+ [0-9.]+ tvcWrite_proxy\(0x9, .*)")))
        << last;
}

// A text argument is read only where the memory is committed, readable and
// no guard; else, or when its end cannot be read, it is shown as its address.
// Then lines enough to map a second stretch keep the program's state.
// Formatted in this process, into a file of its own.
TEST(CallTrace, LinesInProcessShowUnreadableTextsAsAddressesAndKeepTheProgramState) {
    tvc_test::scratch_layout layout;
    const std::string trace = layout.dir() + "texts.trace";
    ASSERT_TRUE(tvc::trace::open_trace_file(std::wstring(trace.begin(), trace.end())));
    // Two readable pages, a guard page, a page without access, one reserved only.
    constexpr std::size_t page = 4096;
    char *const pages = static_cast<char *>(::VirtualAlloc(nullptr, 5 * page, MEM_RESERVE, PAGE_NOACCESS));
    ASSERT_NE(::VirtualAlloc(pages, 2 * page, MEM_COMMIT, PAGE_READWRITE), nullptr);
    ASSERT_NE(::VirtualAlloc(pages + 2 * page, page, MEM_COMMIT, PAGE_READWRITE | PAGE_GUARD), nullptr);
    ASSERT_NE(::VirtualAlloc(pages + 3 * page, page, MEM_COMMIT, PAGE_NOACCESS), nullptr);
    std::memcpy(pages + page - 2, "ab\0", 3);        // across the first two pages
    std::memset(pages + 2 * page - 4, 'x', 4);       // runs into the guard page
    // A view of a mapping, read by another way than private memory.
    const tvc::unique_handle mapping(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, page, nullptr));
    char *const view = static_cast<char *>(::MapViewOfFile(mapping.get(), FILE_MAP_WRITE, 0, 0, page));
    ASSERT_NE(view, nullptr);
    std::memcpy(view, "cd", 3);
    const auto address = [](const char *text) {
        char shown[24];
        std::snprintf(shown, sizeof shown, "0x%llx", static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(text)));
        return std::string(shown);
    };
    const std::pair<const char *, std::string> texts[] = {
        {pages + page - 2, "\"ab\""},
        {view, "\"cd\""},
        {pages + 2 * page - 4, address(pages + 2 * page - 4)},
        {pages + 2 * page, address(pages + 2 * page)},
        {pages + 3 * page, address(pages + 3 * page)},
        {pages + 4 * page, address(pages + 4 * page)},
        {reinterpret_cast<const char *>(0x10), "0x10"},
    };
    std::vector<std::string> expected;
    for (const auto &[text, shown] : texts) {
        tvc::trace::trace_line line("text_proxy");
        line.argument(text);
        line.start();
        line.finish();
        expected.push_back("text_proxy(" + shown + ") = void");
    }
    MEMORY_BASIC_INFORMATION guard{};
    ::VirtualQuery(pages + 2 * page, &guard, sizeof guard);
    EXPECT_EQ(guard.Protect, static_cast<DWORD>(PAGE_READWRITE | PAGE_GUARD)) << "the guard page was touched";
    // The stretch this process maps ends in zeros until its exit.
    const std::string text = file_text(trace);
    expect_trace(lines_of(text.substr(0, text.find('\0'))), expected, "call_trace_tests");
    ::VirtualFree(pages, 0, MEM_RELEASE);
    ::UnmapViewOfFile(view);

    // Past the end of the first stretch, so that a line maps the next one:
    // the program's state is still as it left it.
    const unsigned int mxcsr = _mm_getcsr();
    _mm_setcsr(0x1F80 | 0x6000 | 0x3F);  // every flag raised, rounding toward zero
    bool kept = true;
    for (int call = 0; call < 150000 && kept; ++call) {
        ::SetLastError(0xBEEF);
        errno = EDOM;
        tvc::trace::trace_line line("state_proxy");
        line.argument(static_cast<const void *>(nullptr));
        line.start();
        line.finish(1.5);
        kept = ::GetLastError() == 0xBEEF && errno == EDOM && _mm_getcsr() == (0x1F80 | 0x6000 | 0x3F);
    }
    _mm_setcsr(mxcsr);
    EXPECT_TRUE(kept) << "last error, errno or MXCSR changed by a line";
    WIN32_FILE_ATTRIBUTE_DATA file{};
    ASSERT_TRUE(::GetFileAttributesExA(trace.c_str(), GetFileExInfoStandard, &file));
    EXPECT_GE(file.nFileSizeLow | static_cast<unsigned long long>(file.nFileSizeHigh) << 32, 8ull << 20)
        << "the lines reached the second stretch";
}

// The call lines of the file, each whole, before any zero bytes that a
// process which ended abruptly leaves at the end: (thread, second argument).
std::vector<std::pair<std::string, unsigned long long>> whole_write_calls(const std::string &text) {
    std::vector<std::pair<std::string, unsigned long long>> calls;
    const std::vector<std::string> lines = lines_of(text.substr(0, text.find('\0')));
    EXPECT_EQ(text.find_first_not_of('\0', std::min(text.find('\0'), text.size())), std::string::npos)
        << "only zero bytes after the lines";
    for (std::size_t index = 9; index < lines.size(); ++index) {
        tvc_trace::call_fields call;
        std::smatch match;
        static const std::regex arguments(R"(^0x[0-9a-f]+, 0x([0-9a-f]+), 0x[0-9a-f]+, 0x[0-9a-f]+, \.\.\.$)");
        const std::string argument_text = tvc_trace::parse_call(lines[index], call) ? std::string(call.arguments) : "";
        if (call.export_name != "tvcWrite_proxy" || call.result != "0x0" ||
            !std::regex_match(argument_text, match, arguments)) {
            ADD_FAILURE() << "line " << index << ": " << lines[index];
            continue;
        }
        calls.emplace_back(argument_text.substr(0, argument_text.find(',')), std::stoull(match[1], nullptr, 16));
    }
    return calls;
}

TEST(CallTrace, LinesOfThreadsCallingAtOnceStayWholeAndInEachThreadsOrder) {
    tvc_test::scratch_layout layout;
    const std::string trace = layout.dir() + "calls.trace";
    host_output({lib(), "trace:" + trace, "init", "traced-threads"});
    const auto calls = whole_write_calls(file_text(trace));
    EXPECT_EQ(calls.size(), 8u * 10000);
    std::map<std::string, unsigned long long> next_of;
    for (const auto &[thread, call] : calls) {
        EXPECT_EQ(call, next_of[thread]++) << "thread " << thread;
        if (call + 1 != next_of[thread]) break;
    }
    EXPECT_EQ(next_of.size(), 8u);
}

// init_proxy_libraries is exported, and threads may bind at once: the trace
// starts once, its header before any line, and no line is torn. (A call
// made while another thread's bind routine has put the bound address back
// into the slot is not traced, until that thread's trace installation.)
TEST(CallTrace, ThreadsBindingAtOnceStartOneRunBeforeAnyLine) {
    tvc_test::scratch_layout layout;
    const std::string trace = layout.dir() + "calls.trace";
    host_output({lib(), "trace:" + trace, "bind-race"});
    const std::string text = file_text(trace);
    const std::vector<std::string> lines = lines_of(text.substr(0, text.find('\0')));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].rfind("# pid=", 0), 0u) << lines[0];
    const auto count = [&](const char *piece) {
        return std::count_if(lines.begin(), lines.end(),
                             [&](const std::string &line) { return line.find(piece) != std::string::npos; });
    };
    EXPECT_EQ(count("# pid="), 1);
    EXPECT_EQ(count(" vltClose_proxy(0x0) = "), static_cast<std::ptrdiff_t>(lines.size() - 1));
    EXPECT_LE(lines.size() - 1, 8u * 1000);
}

// Every call that returned before the process ended abruptly has its whole
// line in the file; after a crash the file ends in zero bytes.
TEST(CallTrace, NoLineIsLostWhenTheProcessFaultsOrIsTerminated) {
    tvc_test::scratch_layout layout;
    constexpr int calls = 3000;
    for (const std::string end : {"fault-after:", "terminate-after:"}) {
        const std::string trace = layout.dir() + end.substr(0, end.size() - 1) + ".trace";
        const tvc_test::child_run run = tvc_test::run_child(
            "forwarding_host.exe", {lib(), "trace:" + trace, "init", end + std::to_string(calls)},
            static_cast<const char *>(nullptr), nullptr, 60000);
        EXPECT_EQ(run.exit_code, end == "fault-after:" ? static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION) : 7u) << end;
        const auto lines = whole_write_calls(file_text(trace));
        ASSERT_EQ(lines.size(), static_cast<std::size_t>(calls)) << end;
        for (int call = 0; call < calls; ++call) EXPECT_EQ(lines[call].second, static_cast<unsigned long long>(call));
    }
}

TEST(CallTrace, SlotsKeepTheBoundAddressesUnlessTheTraceFileOpens) {
    tvc_test::scratch_layout layout;
    const std::string missing = layout.dir() + "missing\\calls.trace";
    const std::string trace = layout.dir() + "calls.trace";
    const std::string held = layout.dir() + "held.trace";
    const tvc::unique_handle holder(::CreateFileA(held.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                  nullptr, OPEN_ALWAYS, 0, nullptr));
    const std::string read_held = layout.dir() + "read.trace";
    const tvc::unique_handle reader(
        ::CreateFileA(read_held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr));
    const auto in_another_program = [](const std::string &file) {
        return "Calls are not traced: " + file +
               " named by TVCVRTRT_TRACE is open in another program, which lets no other write to it (another "
               "process that traces into it, or one that reads it); put %p in the name for a file per process (the "
               "process id)\n";
    };
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
        // The names a program calls select the slots behind them; a pattern
        // that matches no export is named, and the rest applies.
        {{lib(), "trace:" + trace, "filter:tvcFeval_proxy", "init", "wrapped"}, "", wrapped(1)},
        {{lib(), "trace:" + trace, "filter:kaErrMsgTxt_proxy", "init", "wrapped"}, "", wrapped(1)},
        {{lib(), "trace:" + trace, "filter:tvcFevl*,vltOpen_proxy,!nothing", "init", "wrapped"},
         "No export matches \"tvcFevl*\" in TVCVRTRT_TRACE_FILTER; the rest of the filter applies\n"
         "No export matches \"!nothing\" in TVCVRTRT_TRACE_FILTER; the rest of the filter applies\n",
         wrapped(1)},
        // A file that another process traces into (holds open to write), or
        // that a program reads without letting others write, is refused.
        {{lib(), "trace:" + held, "init", "wrapped"}, in_another_program(held), "wrapped=0\n"},
        {{lib(), "trace:" + read_held, "init", "wrapped"}, in_another_program(read_held), "wrapped=0\n"},
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
    expect_trace(lines_of(file_text(long_trace)), initialization_lines());
    // A later run appends its header and lines.
    ::DeleteFileA(trace.c_str());
    host_output({lib(), "trace:" + trace, "init"});
    host_output({lib(), "trace:" + trace, "init"});
    const std::vector<std::string> runs = lines_of(file_text(trace));
    const auto second = std::find_if(runs.begin() + 1, runs.end(), [](const std::string &line) { return line[0] == '#'; });
    expect_trace({runs.begin(), second}, initialization_lines());
    expect_trace({second, runs.end()}, initialization_lines());
    // A line that a crash cut (its text, then the zeros of its stretch): the
    // next run's header starts a line of its own after it.
    {
        const tvc::unique_handle cut(
            ::CreateFileA(trace.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        const std::string cut_line = "7 1.000 tvcFreeArrayList_proxy(0, 0xc3" + std::string(100, '\0');
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(cut.get(), cut_line.data(), static_cast<DWORD>(cut_line.size()), &written, nullptr));
    }
    host_output({lib(), "trace:" + trace, "init"});
    const std::vector<std::string> after_cut = lines_of(file_text(trace));
    ASSERT_GE(after_cut.size(), 2u);
    EXPECT_EQ(after_cut[0], "7 1.000 tvcFreeArrayList_proxy(0, 0xc3");
    expect_trace({after_cut.begin() + 1, after_cut.end()}, initialization_lines());
}

}  // namespace
