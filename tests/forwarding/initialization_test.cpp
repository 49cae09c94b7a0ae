// Initialization scenarios, each in a fresh process (forwarding_host) over a
// runtime directory of stand-in libraries: the build's complete one, or a
// scratch copy with a library missing or lacking a symbol.
#include "support/family_sizes.h"
#include "support/scratch_layout.h"
#include "tests/forwarding/forwarding_host_run.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using namespace tvc_test;
const std::string &runtime_dir = test_runtime_dir;

std::string bound(std::size_t count, char mark = '1') { return std::string(count, mark); }

std::string every_slot(char mark) {
    return "array=" + bound(array_slots, mark) + "\ndata_file=" + bound(data_file_slots, mark) + "\nruntime=" +
           bound(runtime_slots, mark) + "\nbase=" + bound(base_slots, mark) + "\n";
}

// What one complete sequence leaves in the journal after the libraries.
std::string sequence_journal(bool engine_state_set = true) {
    return "tvcAddCanonicalPathMacro(\"$MODULEDIR\", \"C:\\module\\\") lock=1\n"
           "tvcAddCanonicalPathMacro(\"$RUNTIMELIBDIR\", \"" + runtime_dir + "\") lock=1\n"
           "tvcAddCanonicalPathMacro(\"$VRTROOT\", \"C:\\root\\\") lock=1\n"
           "tvcAddCanonicalPathMacro(\"$TOOLBOXTOVANDIR\", \"\") lock=1\n"
           "tvcAddCanonicalPathMacro(\"$TOOLBOXPREFIX\", \"C:\\prefix\\\") lock=1\n"
           "tvcAddCanonicalPathMacro(\"$TOOLBOXDEPLOYDIR\", \"C:\\prefix\\compiler\\\") lock=1\n"
           "tvcvrtInitialize() lock=0\n" +
           std::string(engine_state_set ? "tvcSetEngState(i:3) lock=1\n" : "");
}

// A runtime directory of the layout's own, from the complete stand-ins
// except those replaced or left out.
std::string scratch_runtime(const scratch_layout &layout, const std::string &gap_variant = "",
                            const std::string &left_out = "") {
    const std::string dir = layout.make_dir("bin\\win64");
    for (std::size_t family = 0; family < tvc::family_count; ++family) {
        const std::string file(tvc::families[family].file);
        if (file == left_out) continue;
        std::string source = runtime_dir + file;
        const std::string variant = runtime_dir + gap_variant + "\\" + file;
        if (!gap_variant.empty() && ::GetFileAttributesA(variant.c_str()) != INVALID_FILE_ATTRIBUTES) source = variant;
        EXPECT_TRUE(::CopyFileA(source.c_str(), (dir + file).c_str(), FALSE)) << source;
    }
    return dir;
}

TEST(Initialization, FirstCallLoadsInOrderBindsEverythingThenRegistersAndInitializes) {
    const std::string loading = "Loading " + runtime_dir;
    EXPECT_EQ(host_output({lib(runtime_dir), "verbose", "init", "slots", "journal", "init", "init2:5", "journal"}),
              loading + "libka.dll\n" + loading + "libvlt.dll\n" + loading + "tvcvrt.dll\n" + loading +
                  "tvcbase.dll\ninit=1\n" + every_slot('1') + sequence_journal() +
                  // Once initialized, nothing is called again, not even with another state.
                  "init=1\ninit=1\n");
}

TEST(Initialization, NothingIsCalledBeforeInitializationButTerminateReportsTrue) {
    EXPECT_EQ(host_output({"call-all", "journal"}), "tvcTerminateApplication_proxy 1\n");
}

TEST(Initialization, MissingLibraryIsReportedLeavesEarlierFamiliesBoundAndCallsNothing) {
    scratch_layout layout;
    const std::string dir = scratch_runtime(layout, "", "libvlt.dll");
    const std::string output =
        host_output({lib(dir), "init", "slots", "call-all", "app", "journal", "bind-directly"});
    const std::string failure = "An Error has occurred while trying to initialize the VRT.  \nThe error is: "
                                "Fatal error loading library " + dir + "libvlt.dll Error: ";
    EXPECT_EQ(output.find(failure), 0u) << output;
    const std::size_t result = output.find("init=0\n");
    const std::size_t retry = output.find(failure, result);
    ASSERT_NE(retry, std::string::npos) << output;
    // Array family bound, lock unreachable: every forwarder keeps its fixed value.
    EXPECT_EQ(output.substr(result, retry - result),
              "init=0\narray=" + bound(array_slots) + "\ndata_file=" + bound(data_file_slots, '0') + "\nruntime=" +
                  bound(runtime_slots, '0') + "\nbase=" + bound(base_slots, '0') +
                  "\ntvcTerminateApplication_proxy 1\n");
    // The application's initialization tries again, fails again and never
    // reaches the base library (the journal stays empty); a direct call of
    // the bind routines lets the exception out.
    const std::string escaped = "app=0\nescaped: Fatal error loading library " + dir + "libvlt.dll Error: ";
    EXPECT_NE(output.find(escaped, retry), std::string::npos) << output;
}

TEST(Initialization, RetryAfterRepairSucceedsAndRebindsTheSameAddresses) {
    scratch_layout layout;
    const std::string dir = scratch_runtime(layout, "", "libvlt.dll");
    const std::string output = host_output({lib(dir), "init", "addresses:array", "copy:" + runtime_dir +
                                            "libvlt.dll|" + dir + "libvlt.dll", "init", "addresses:array", "slots"});
    const std::size_t first = output.find("init=0\n");
    const std::size_t second = output.find("init=1\n");
    ASSERT_NE(first, std::string::npos) << output;
    ASSERT_NE(second, std::string::npos) << output;
    const std::string before = output.substr(first + 7, output.find('\n', first + 7) - first - 7);
    const std::string after = output.substr(second + 7, output.find('\n', second + 7) - second - 7);
    EXPECT_EQ(after, before);
    EXPECT_EQ(output.substr(output.find('\n', second + 7) + 1), every_slot('1'));
}

// The position of a symbol in its family's binding table, from 1; 0 for none.
std::size_t entry_number(std::string_view symbol) {
    std::size_t position = 0, found = 0;
#define TVC_FAMILY(name, routine, file) position = 0;
#define TVC_SPECIAL(export_name, result, args)
#define TVC_ENTRY(shape, export_name, table_symbol, result, args) \
    ++position;                                                     \
    if (symbol == #table_symbol) found = position;
#include "forwarding/families.inc"
#undef TVC_ENTRY
#undef TVC_SPECIAL
#undef TVC_FAMILY
    return found;
}

// A family's slots after its bind routine met the missing symbol: those
// before it bound, it and the later ones null.
std::string bound_before(const char *missing, std::size_t slots) {
    const std::size_t number = entry_number(missing);
    return bound(number - 1) + bound(slots - number + 1, '0');
}

struct symbol_gap {
    const char *variant;  // directory of the stand-in lacking one symbol
    const char *missing;
    const char *library;
    std::string slots;  // after the failed attempt
    std::string calls;  // what calling every export then does
};

TEST(Initialization, LibraryLackingItsKthSymbolBindsUpToItAndLeavesTheRest) {
    const symbol_gap gaps[] = {
        {"array_gap", "kaMalloc", "libka.dll",
         "array=" + bound_before("kaMalloc", array_slots) + "\ndata_file=" + bound(data_file_slots, '0') +
             "\nruntime=" + bound(runtime_slots, '0') + "\nbase=" + bound(base_slots, '0') + "\n",
         "tvcTerminateApplication_proxy 1\n"},
        {"runtime_gap", "tvcKfnVFeval", "tvcvrt.dll",
         "array=" + bound(array_slots) + "\ndata_file=" + bound(data_file_slots) + "\nruntime=" +
             bound_before("tvcKfnVFeval", runtime_slots) + "\nbase=" + bound(base_slots, '0') + "\n",
         // Direct forwarders need no lock: those bound call through.
         "tvcvrtInitializeInternal_proxy 1\ntvcvrtInitializeInternal2_proxy 1\ntvcTerminateApplication_proxy 1\n"
         "tvcFevalIsLoaded 1\ntvcStandaloneGenericMain(p:0, i:0, p:0) lock=0\n"
         "tvcStandaloneArqxMain(p:0, i:0, p:0) lock=0\ntvcWrite(p:0, p:0) lock=0\ntvcvrtInitialize() lock=0\n"
         "tvcvrtInitialize2(i:0) lock=0\n"},
    };
    for (const symbol_gap &gap : gaps) {
        scratch_layout layout;
        const std::string dir = scratch_runtime(layout, gap.variant);
        const std::string output = host_output({lib(dir), "init", "slots", "call-all", "journal"});
        const std::string failure = "An Error has occurred while trying to initialize the VRT.  \nThe error is: "
                                    "Fatal error finding symbol " + std::string(gap.missing) + " in " + dir +
                                    gap.library + " Error: ";
        EXPECT_EQ(output.find(failure), 0u) << output;
        const std::size_t result = output.find("init=0\n");
        ASSERT_NE(result, std::string::npos) << output;
        EXPECT_EQ(output.substr(result + 7), gap.slots + gap.calls);
    }
}

TEST(Initialization, RuntimeRefusingPrintsNothingAndTheNextCallRepeatsEverything) {
    const std::string full = sequence_journal();
    const std::string without_state = sequence_journal(false);
    // The runtime's initialization, then its engine state, returning false.
    for (const auto &[symbol, failed_journal] : {std::pair{"tvcvrtInitialize", without_state},
                                                 std::pair{"tvcSetEngState", full}}) {
        const std::string refuse = std::string("result:") + symbol + "=0";
        const std::string accept = std::string("result:") + symbol + "=1";
        EXPECT_EQ(host_output({lib(runtime_dir), refuse, "init", "journal", accept, "init", "journal"}),
                  "init=0\n" + failed_journal + "init=1\n" + full)
            << symbol;
    }
}

// Initialization failed, but all four families are bound: forwarders of
// every shape reach the runtime, the locked and guarded ones under the lock.
TEST(Initialization, AfterTheRuntimeRefusesTheBoundFamiliesAreCallable) {
    const std::string output =
        host_output({lib(runtime_dir), "result:tvcvrtInitialize=0", "init", "journal", "traced-calls", "journal"});
    ASSERT_EQ(output.find("init=0\n"), 0u) << output;
    for (const char *line : {"\nvltClose(p:f00d00000001) lock=1\n", "\nkaCreateDoubleMatrix_730(z:100000003, z:4, i:0) lock=1\n",
                             "\ntvcTerminateApplication() lock=1\n", "\ntvcRunMain(p:f00d00000001, i:-7, p:0) lock=0\n"})
        EXPECT_NE(output.find(line), std::string::npos) << line << output;
}

TEST(Initialization, ApplicationInitializationInitializesOnceAndForwardsEveryTime) {
    EXPECT_EQ(host_output({lib(runtime_dir), "result:tvcInitializeApplication=0", "app", "journal", "app",
                           "journal"}),
              "app=0\n" + sequence_journal() + "tvcInitializeApplication(p:1234, z:4d) lock=0\n"
              "app=0\ntvcInitializeApplication(p:1234, z:4d) lock=0\n");
}

// The runtime calling back into initialization on the thread that runs it:
// the inner calls return at once with true (every family is bound by then),
// the application's initialization is forwarded, nothing is repeated, and
// the outer call completes.
TEST(Initialization, ReentryOnTheInitializingThreadReturnsAtOnce) {
    struct {
        const char *symbol;
        const char *calling_line;  // the first line of that symbol
        const char *lock;          // the application call inherits the caller's lock
    } const cases[] = {{"tvcvrtInitialize", "tvcvrtInitialize() lock=0\n", "0"},
                       {"tvcAddCanonicalPathMacro", "\\\") lock=1\n", "1"}};
    for (const auto &c : cases) {
        std::string journal = sequence_journal();
        journal.insert(journal.find(c.calling_line) + std::strlen(c.calling_line),
                       "tvcInitializeApplication(p:1234, z:4d) lock=" + std::string(c.lock) +
                           " overlapping\nreentered init=1 init2=1 app=1\n");
        EXPECT_EQ(host_output({lib(runtime_dir), std::string("reenter:") + c.symbol, "init", "journal", "init",
                               "journal"}),
                  "init=1\n" + journal + "init=1\n")
            << c.symbol;
    }
}

// A thread that the runtime starts during its initialization and that
// calls an entry point waits for the run under way, and then gets its
// result: the runtime must not wait for it.
TEST(Initialization, AThreadStartedByTheRuntimesInitializationWaitsForTheRun) {
    EXPECT_EQ(host_output({lib(runtime_dir), "helper:tvcvrtInitialize", "init"}), "init=1\nhelper init=1\n");
}

TEST(Initialization, ConcurrentFirstCallsRunTheSequenceOnceAndAllSucceed) {
    EXPECT_EQ(host_output({lib(runtime_dir), "race:8", "journal"}), "race=8\n" + sequence_journal());
}

// 32 threads, all arrived while the first run is under way, which fails:
// one run, one message, false for all; a later call runs the sequence again.
TEST(Initialization, ThreadsWaitingForAFailingRunTakeItsResultAndALaterCallRetries) {
    scratch_layout layout;
    const std::string dir = scratch_runtime(layout, "", "tvcvrt.dll");
    const std::string loading = "Loading " + dir;
    const std::string run = loading + "libka.dll\n" + loading + "libvlt.dll\n" + loading + "tvcvrt.dll\n" +
                            "An Error has occurred while trying to initialize the VRT.  \nThe error is: "
                            "Fatal error loading library " + dir + "tvcvrt.dll Error: ";
    const std::string output = host_output({lib(dir), "verbose", "held-race:32", "init"});
    ASSERT_EQ(output.find(run), 0u) << output;
    const std::size_t result = output.find("race=0\n");
    ASSERT_NE(result, std::string::npos) << output;
    EXPECT_EQ(output.find(loading, run.size()), output.find(run, result)) << output;
    EXPECT_EQ(output.substr(output.size() - 7), "init=0\n");
}

}  // namespace
