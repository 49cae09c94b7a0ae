// Every forwarder against the test runtime, after one initialization of this
// process: arguments and results at their widths, the API lock, the special
// exports and the direct forwarders' tail transfer.
#include "loading/runtime_paths.h"
#include "forwarding/api_lock_pair.h"
#include "forwarding/family_sizes.h"
#include "support/child_process.h"
#include "tests/forwarding/forwarder_case.h"
#include "tests/forwarding/test_runtime/journal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <stdexcept>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

namespace {

using tvc_test::forwarder_case;

// Values that use every bit of their width: pointers and sizes above 4 GiB,
// negative 32-bit integers, 16- and 8-bit values with their top bit set,
// doubles and floats that are not exact binary fractions.
template <typename Value> Value sample(int n) {
    if constexpr (std::is_pointer_v<Value> && !std::is_same_v<Value, char *>) {
        return reinterpret_cast<Value>(0xF00D00000000ull + n * 0x100000001ull);
    } else if constexpr (std::is_same_v<Value, std::size_t>) {
        return 0x100000000ull * (n + 1) + n;
    } else if constexpr (std::is_same_v<Value, std::int32_t>) {
        return -1000 * n - 7;
    } else if constexpr (std::is_same_v<Value, std::uint16_t>) {
        return static_cast<std::uint16_t>(0xB000 | n);
    } else if constexpr (std::is_same_v<Value, std::uint8_t>) {
        return static_cast<std::uint8_t>(0xA0 | n);
    } else if constexpr (std::is_floating_point_v<Value>) {
        return static_cast<Value>(n + 0.1);
    } else {
        return Value();  // a list: entries that take one are tested on their own
    }
}

#define TVC_ARGUMENT_VALUE(code, n) sample<TVC_ARG_TYPE(code)>(n)
const forwarder_case cases[] = {
#include "tests/forwarding/forwarder_cases.inc"
};

// Results that show every bit: above 4 GiB, negative, NaN with a payload, a
// record of two distinct words; booleans the opposite of what a null slot gives.
tvc_test::result_bytes_t result_for(const forwarder_case &entry) {
    tvc_test::result_bytes_t bytes{};
    const unsigned long long number = static_cast<unsigned long long>(&entry - cases) + 1;
    const unsigned long long words[2] = {
        entry.result == "d" ? 0x7FF8000000000000ull | number : 0xFEDC000080000000ull | number,
        0x0123456789ABCDEFull};
    std::memcpy(bytes.data(), words, sizeof words);
    const std::size_t size = entry.result == "none" ? 0
                             : entry.result == "c"  ? 1
                             : entry.result == "i"  ? 4
                             : entry.result == "r16" ? 16
                                                     : 8;
    if (entry.result == "c") bytes[0] = entry.shape != "guarded_true";
    std::fill(bytes.begin() + size, bytes.end(), 0);
    return bytes;
}

std::vector<std::string> journal_lines() {
    std::vector<std::string> lines;
    for (std::size_t index = 0; index < journal_size(); ++index) lines.emplace_back(journal_line(index));
    journal_clear();
    return lines;
}

class initialized_runtime : public testing::Environment {
public:
    void SetUp() override {
        const std::string dir = tvc_test::executable_directory() + "test_runtime\\";
        tvc::runtime_paths_t paths{};
        std::snprintf(paths.runtime_lib_dir, tvc::runtime_path_capacity, "%s", dir.c_str());
        tvc::publish_runtime_paths(paths);
        ASSERT_TRUE(tvcvrtInitialize_proxy());
        journal_clear();
    }
};
const testing::Environment *const environment = testing::AddGlobalTestEnvironment(new initialized_runtime);

class Forwarders : public testing::Test {
protected:
    void SetUp() override { journal_clear(); }
    void TearDown() override {
        journal_set_throwing(nullptr);
        EXPECT_EQ(journal_lock_depth(), 0) << "the API lock is still held";
    }
};

// A case for every slot of every family the library binds.
static_assert(std::size(cases) == tvc::all_family_slots);

TEST_F(Forwarders, EveryForwarderHandsOnItsArgumentsAndResultUnchangedUnderItsLock) {
    for (const forwarder_case &entry : cases) {
        // Lock functions are the stand-in lock itself; lists, and the path
        // macros' texts, are seen by tests of their own.
        const bool own_test = entry.symbol == TVC_API_LOCK_ENTER_NAME || entry.symbol == TVC_API_LOCK_LEAVE_NAME ||
                              entry.symbol == "tvcAddCanonicalPathMacro" ||
                              entry.arguments.find('v') != std::string::npos;
        if (!entry.call || own_test) continue;
        SCOPED_TRACE(entry.export_name);
        const tvc_test::result_bytes_t expected = result_for(entry);
        journal_set_result(entry.symbol.c_str(), expected.data(), expected.size());
        EXPECT_EQ(entry.call(), expected);
        const std::string lock = entry.shape == "direct" ? "0" : "1";
        EXPECT_EQ(journal_lines(),
                  std::vector<std::string>{entry.symbol + "(" + entry.argument_texts() + ") lock=" + lock});
        EXPECT_EQ(journal_lock_depth(), 0);
    }
}

TEST_F(Forwarders, GenerationsDifferOnlyInTheWidenedArguments) {
    kaCreateDoubleMatrix_700_proxy(3, 4, 0);
    kaCreateDoubleMatrix_730_proxy(0x100000003ull, 4, 0);
    tvcGetScalarSingle_proxy(nullptr, 1.5f, -0.1f, 2);
    EXPECT_EQ(journal_lines(), (std::vector<std::string>{
                                   "kaCreateDoubleMatrix_700(i:3, i:4, i:0) lock=1",
                                   "kaCreateDoubleMatrix_730(z:100000003, z:4, i:0) lock=1",
                                   "tvcGetScalarSingle(p:0, f:0x1.8p+0, f:-0x1.99999ap-4, i:2) lock=1"}));
}

TEST_F(Forwarders, ErrorMessageReachesTheRuntimeAsOneListUnderTheLockHeldTwice) {
    kaErrMsgTxt_proxy("%d and %s", 7, "seven");
    EXPECT_EQ(journal_lines(),
              std::vector<std::string>{"kaVErrMsgIdAndTxt(\"\", \"%d and %s\", list:7 and seven) lock=2"});
}

bool evaluate_through_list(const void *instance, int count, ...) {
    va_list arguments;
    va_start(arguments, count);
    const bool result = tvcKfnVFeval_proxy(instance, "f", 1, 2, count, arguments);
    va_end(arguments);
    return result;
}

TEST_F(Forwarders, EvaluationWrappersPassVariableArgumentsAsOneListAndRefuseANullInstance) {
    const void *instance = reinterpret_cast<const void *>(0x123456789ull);
    EXPECT_TRUE(tvcKfnFeval_proxy(instance, nullptr, 1, 2, 3, 0x500000000ull, 6ull, 7ull));
    EXPECT_TRUE(evaluate_through_list(instance, 2, 0x800000000ull, 9ull));
    EXPECT_FALSE(tvcKfnFeval_proxy(nullptr, nullptr, 1, 2, 1, 5ull));
    EXPECT_FALSE(evaluate_through_list(nullptr, 1, 5ull));
    EXPECT_FALSE(tvcFeval_proxy(nullptr, nullptr, 0, nullptr, 0, nullptr));
    const std::vector<std::string> lines = journal_lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "tvcKfnVFeval(p:123456789, p:0, i:1, i:2, i:3, list: z:500000000 z:6 z:7) lock=1");
    EXPECT_EQ(lines[1].substr(lines[1].find(", i:1")), ", i:1, i:2, i:2, list: z:800000000 z:9) lock=1");
    EXPECT_TRUE(tvcFevalIsLoaded());
    EXPECT_TRUE(tvcKfnVFevalIsLoaded());
}

TEST_F(Forwarders, LockHolderEntersAgainAndTheLockIsFreeAfterTheMatchingRelease) {
    tvcAcquireMutex_proxy();
    EXPECT_EQ(journal_lock_depth(), 1);
    vltClose_proxy(nullptr);
    tvcReleaseMutex_proxy();
    EXPECT_EQ(journal_lines(), std::vector<std::string>{"vltClose(p:0) lock=2"});
}

// A thread calling the lock pair while another binds the base family, which
// fills the acquire slot (entry 5) before the release slot (entry 6). Each
// case lists calls, each after binding up to a step: 0 neither slot, 1 the
// acquire slot alone, 2 both. Whatever steps the calls straddle, the thread
// holds nothing afterwards and the runtime never sees a release without its
// acquire (the stand-in journals one).
TEST_F(Forwarders, LockPairCalledDuringBindingLeavesTheLockAsItFoundIt) {
    auto &acquire_slot = TVC_SLOT(tvcAcquireMutex);
    auto &release_slot = TVC_SLOT(tvcReleaseMutex);
    const auto bound_acquire = acquire_slot, bound_release = release_slot;
    const auto bind_up_to = [&](char step) {
        acquire_slot = step >= '1' ? bound_acquire : nullptr;
        release_slot = step >= '2' ? bound_release : nullptr;
    };
    // Step and call ('a' acquire, 'r' release), in the order made.
    for (const char *calls : {"0a0r", "0a1r", "0a2r", "1a1r", "1a2r", "2a2r", "0a2a2r2r", "1a2a2r2r", "0a1a2r2r"}) {
        SCOPED_TRACE(calls);
        for (const char *call = calls; *call != '\0'; call += 2) {
            bind_up_to(call[0]);
            if (call[1] == 'a') tvcAcquireMutex_proxy();
            if (call[1] == 'r') tvcReleaseMutex_proxy();
        }
        bind_up_to('2');
        EXPECT_EQ(journal_lock_depth(), 0);
        EXPECT_EQ(journal_lines(), std::vector<std::string>{});
    }
}

TEST_F(Forwarders, ExceptionsPassThroughAndLeaveTheLock) {
    for (const char *symbol : {"vltOpen", "kaVErrMsgIdAndTxt", "tvcAddCanonicalPathMacro"}) {
        journal_set_throwing(symbol);
        try {
            if (std::strcmp(symbol, "vltOpen") == 0) vltOpen_proxy(nullptr, nullptr);
            if (std::strcmp(symbol, "kaVErrMsgIdAndTxt") == 0) kaErrMsgTxt_proxy("x");
            if (std::strcmp(symbol, "tvcAddCanonicalPathMacro") == 0) tvcAddCanonicalPathMacro_proxy("", "");
            ADD_FAILURE() << symbol << " did not throw";
        } catch (const std::exception &error) {
            EXPECT_STREQ(error.what(), symbol);
        }
        EXPECT_EQ(journal_lock_depth(), 0) << symbol;
    }
}

TEST_F(Forwarders, ThreadsNeverOverlapInsideTheRuntime) {
    constexpr int thread_count = 8;
    constexpr int calls_per_thread = 300;
    std::vector<std::thread> threads;
    for (int thread = 0; thread < thread_count; ++thread) {
        threads.emplace_back([] {
            for (int call = 0; call < calls_per_thread; ++call) kaIsDouble_proxy(nullptr);
        });
    }
    for (std::thread &thread : threads) thread.join();
    const std::vector<std::string> lines = journal_lines();
    EXPECT_EQ(lines.size(), static_cast<std::size_t>(thread_count * calls_per_thread));
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "kaIsDouble(p:0) lock=1"), thread_count * calls_per_thread);
}

TEST_F(Forwarders, DirectForwarderTransfersRegistersAndStackUntouched) {
    EXPECT_TRUE(tvc_test::ten_mixed_arguments_arrive([] {}));
}

TEST_F(Forwarders, MemcpyProxyTakesTheSourceFirstAndReturnsTheDestination) {
    const char source[] = "abcdef";
    char destination[8] = "-------";
    EXPECT_EQ(memcpy_proxy(source, destination, 3), destination);
    EXPECT_STREQ(destination, "abc----");
}

}  // namespace
