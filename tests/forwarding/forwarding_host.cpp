// Initializes the forwarding layer in a fresh process as the commands on its
// command line say, in order, and reports on standard output (binary mode).
// The commands are the table at the end of this file, one line of help
// each; "forwarding_host help" prints them. An unknown command exits with 2.
#include "tvcvrtrt/api_exception.h"
#include "bootstrap/initialization.h"
#include "loading/runtime_paths.h"
#include "common/unique_resource.h"
#include "forwarding/forwarding_slots.h"
#include "call_trace/call_trace.h"
#include "call_trace/trace_output.h"
#include "tests/forwarding/forwarder_case.h"
#include "tests/forwarding/test_runtime/journal.h"
#include "tests/forwarding/unwind_case.h"
#include "tests/support/start_gate.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cfenv>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using tvc_test::forwarder_case;

#define TVC_ARGUMENT_VALUE(code, n) TVC_ARG_TYPE(code)()
const forwarder_case cases[] = {
#include "tests/forwarding/forwarder_cases.inc"
};

void set_path(tvc::runtime_path &path, const std::string &value) {
    std::snprintf(path, sizeof path, "%s", value.c_str());
}

void set_runtime_paths(std::string library_dir) {
    if (library_dir.back() != '\\') library_dir += '\\';
    tvc::runtime_paths_t paths{};
    set_path(paths.module_dir, "C:\\module\\");
    set_path(paths.runtime_lib_dir, library_dir);
    set_path(paths.vrt_root, "C:\\root\\");
    set_path(paths.toolbox_dir, "");
    set_path(paths.toolbox_prefix, "C:\\prefix\\");
    set_path(paths.deploy_toolbox_dir, "C:\\prefix\\compiler\\");
    tvc::publish_runtime_paths(paths);
}

void report_slots() {
    std::size_t index = 0;
    for (std::size_t family = 0; family < tvc::family_count; ++family) {
        std::string line = std::string(tvc::families[family].name) + "=";
        for (std::size_t slot = 0; slot < tvc::families[family].slots; ++slot) line += cases[index++].slot() ? '1' : '0';
        std::printf("%s\n", line.c_str());
    }
}

void report_addresses(const std::string &family_name) {
    for (std::size_t index = 0; index < std::size(cases); ++index) {
        if (family_name == tvc::families[tvc_test::family_of_case(index)].name) std::printf("%p ", cases[index].slot());
    }
    std::printf("\n");
}

void report_journal() {
    for (std::size_t index = 0; index < journal_size(); ++index) std::printf("%s\n", journal_line(index));
    journal_clear();
}

void report_result(const char *export_name, const tvc_test::result_bytes_t &bytes) {
    for (unsigned char byte : bytes) {
        if (byte != 0) {
            std::printf("%s %d\n", export_name, bytes[0]);
            return;
        }
    }
}

// The exports outside the tables, called as plainly as their signatures allow.
void call_special_exports() {
    using tvc_test::result_bytes;
    report_result("tvcFevalIsLoaded", result_bytes([] { return tvcFevalIsLoaded(); }));
    report_result("tvcKfnVFevalIsLoaded", result_bytes([] { return tvcKfnVFevalIsLoaded(); }));
    report_result("tvcFeval_proxy", result_bytes([] { return tvcFeval_proxy(nullptr, nullptr, 0, nullptr, 0, nullptr); }));
    report_result("tvcKfnFeval_proxy", result_bytes([] { return tvcKfnFeval_proxy(nullptr, nullptr, 0, 0, 0); }));
    kaErrMsgTxt_proxy("%d", 1);
}

void report_wrapped_slots() {
    int wrapped = 0;
    for (std::size_t index = 0; index < std::size(cases); ++index) {
        const forwarder_case &entry = cases[index];
        const FARPROC bound = ::GetProcAddress(*tvc::family_modules[tvc_test::family_of_case(index)], entry.symbol.c_str());
        wrapped += entry.slot() != reinterpret_cast<const void *>(bound);
    }
    std::printf("wrapped=%d\n", wrapped);
}

// Arguments that show their widths: a pointer and a size above 4 GiB, a
// negative integer, floats that are not binary fractions, 16- and 8-bit
// values with their top bit set, and variable arguments both ways.
void make_traced_calls() {
    std::printf("thread=%lu\n", ::GetCurrentThreadId());
    const void *pointer = reinterpret_cast<const void *>(0xF00D00000001ull);
    vltClose_proxy(pointer);
    kaCreateDoubleMatrix_730_proxy(0x100000003ull, 4, 0);
    tvcGetScalarSingle_proxy(nullptr, 1.5f, -0.1f, 2);
    tvcIsFinite_proxy(2.5);
    tvcGetEps_proxy();
    tvcGetScalarChar_proxy(pointer, 0xB001);
    tvcGetBLDTargetType_proxy(0xA5);
    tvcMakeOutputHandler_proxy(pointer);
    tvcTerminateApplication_proxy();
    tvcRunMain_proxy(pointer, -7, nullptr);
    tvcKfnFeval_proxy(reinterpret_cast<const void *>(0x123456789ull), nullptr, 1, 2, 2, 0x500000000ull, 6ull);
    kaErrMsgTxt_proxy("%d", 7);
    // Both shapes left by an exception: a locked and a direct forwarder.
    for (const char *throwing : {"vltOpen", "tvcRunMain"}) {
        journal_set_throwing(throwing);
        try {
            if (throwing[0] == 'v') vltOpen_proxy(static_cast<const char *>(pointer), nullptr);
            tvcRunMain_proxy(pointer, 1, nullptr);
        } catch (const std::exception &error) {
            std::printf("caught=%s lock=%d\n", error.what(), journal_lock_depth());
        }
    }
    journal_set_throwing(nullptr);
}

// Text arguments: 1,000 bytes, and quotes, a backslash and control characters.
void make_text_calls() {
    const std::string long_text(1000, 'x');
    tvcFeval_proxy(reinterpret_cast<const void *>(1), long_text.c_str(), 0, nullptr, 0, nullptr);
    tvcSetLastErrIdAndMsg_proxy("say:\"hi\"\\", "tab\tline\nbell\a\x7f" "end");
}

// A runtime that leaves a direct forwarder's call by a jump that unwinds
// nothing, as a longjmp without unwinding does; the thread then goes on
// deeper than that call went.
void *jump_buffer[5];
[[gnu::noinline]] void jump_over_a_traced_call() {
    journal_set_callback("tvcRunMain", [] { __builtin_longjmp(jump_buffer, 1); });
    if (__builtin_setjmp(jump_buffer) == 0) tvcRunMain_proxy(nullptr, 0, nullptr);
    journal_set_callback("tvcRunMain", nullptr);
}
[[gnu::noinline]] void throw_and_catch(const char *what) {
    try {
        throw std::runtime_error(what);
    } catch (const std::exception &error) {
        std::printf("caught=%s\n", error.what());
    }
}

// An exception of the system's own, resumed by the test's handler, which
// the system calls after the trace's.
constexpr DWORD resumed_exception = 0xE0C0FFEE;
LONG CALLBACK resume(EXCEPTION_POINTERS *exception) {
    return exception->ExceptionRecord->ExceptionCode == resumed_exception ? EXCEPTION_CONTINUE_EXECUTION
                                                                          : EXCEPTION_CONTINUE_SEARCH;
}
void remove_handler(void *handler) { ::RemoveVectoredExceptionHandler(handler); }
void raise_on_another_thread() {
    journal_set_callback("tvcRunMain", [] {
        std::thread([] {
            ::RaiseException(resumed_exception, 0, 0, nullptr);
            throw_and_catch("elsewhere");
        }).join();
    });
    const tvc::unique_resource<void *, remove_handler> resumer(::AddVectoredExceptionHandler(0, resume));
    tvcRunMain_proxy(nullptr, 0, nullptr);
    journal_set_callback("tvcRunMain", nullptr);
}

// Whether some frame of the walk from context, the innermost first, is in
// function.
bool walk_finds(CONTEXT context, const void *function) {
    for (int frame = 0; frame < 64 && context.Rip != 0; ++frame) {
        DWORD64 base = 0;
        RUNTIME_FUNCTION *entry = ::RtlLookupFunctionEntry(context.Rip, &base, nullptr);
        if (entry == nullptr) return false;  // a frame the unwinder cannot pass
        if (base + entry->BeginAddress == reinterpret_cast<DWORD64>(function)) return true;
        void *handler_data = nullptr;
        DWORD64 establisher = 0;
        ::RtlVirtualUnwind(UNW_FLAG_NHANDLER, base, context.Rip, entry, &context, &handler_data, &establisher,
                           nullptr);
    }
    return false;
}

constexpr DWORD walked_exception = 0xE0C0FFEF;
bool handler_found_caller = false;
[[gnu::noinline]] void call_run_main_to_walk();
LONG CALLBACK walk_on_exception(EXCEPTION_POINTERS *exception) {
    if (exception->ExceptionRecord->ExceptionCode != walked_exception) return EXCEPTION_CONTINUE_SEARCH;
    handler_found_caller = walk_finds(*exception->ContextRecord, reinterpret_cast<const void *>(&call_run_main_to_walk));
    return EXCEPTION_CONTINUE_EXECUTION;
}

// The caller that both walks look for.
[[gnu::noinline]] void call_run_main_to_walk() {
    tvcRunMain_proxy(nullptr, 0, nullptr);
    __asm__ volatile("nop");  // a call in tail position would leave no frame
}

void walk_the_stack() {
    journal_set_callback("tvcRunMain", [] {
        void *frames[62];
        const USHORT count = ::RtlCaptureStackBackTrace(0, 62, frames, nullptr);
        bool caller = false;
        for (USHORT frame = 0; frame < count; ++frame) {
            DWORD64 base = 0;
            const RUNTIME_FUNCTION *entry =
                ::RtlLookupFunctionEntry(reinterpret_cast<DWORD64>(frames[frame]), &base, nullptr);
            caller |= entry != nullptr &&
                      base + entry->BeginAddress == reinterpret_cast<DWORD64>(&call_run_main_to_walk);
        }
        std::printf("frames=%u caller=%s\n", count, caller ? "yes" : "no");
        ::RaiseException(walked_exception, 0, 0, nullptr);
    });
    const tvc::unique_resource<void *, remove_handler> walker(::AddVectoredExceptionHandler(1, walk_on_exception));
    call_run_main_to_walk();
    journal_set_callback("tvcRunMain", nullptr);
    std::printf("handler-caller=%s\n", handler_found_caller ? "yes" : "no");
}

// Fibers: A and B each enter a traced call and switch away inside it; A's
// call returns first although B's began later. C is deleted inside its call.
void *main_fiber = nullptr;
void *fiber_a = nullptr;
void *fiber_b = nullptr;
void *fiber_c = nullptr;
int fiber_step = 0;
void switch_inside_call() {
    switch (fiber_step++) {
    case 0: ::SwitchToFiber(fiber_b); break;  // inside A's call
    case 1: ::SwitchToFiber(fiber_a); break;  // inside B's call: A's returns first
    default: ::SwitchToFiber(main_fiber); break;  // inside C's call, never to come back
    }
}
void CALLBACK run_fiber_a(void *) {
    tvcRunMain_proxy(nullptr, 1, nullptr);
    ::SwitchToFiber(fiber_b);
}
void CALLBACK run_fiber_b(void *) {
    tvcRunMain_proxy(nullptr, 2, nullptr);
    ::SwitchToFiber(main_fiber);
}
void CALLBACK run_fiber_c(void *) {
    tvcRunMain_proxy(nullptr, 3, nullptr);
    ::SwitchToFiber(main_fiber);
}
void run_fibers() {
    main_fiber = ::ConvertThreadToFiber(nullptr);
    fiber_a = ::CreateFiber(0, run_fiber_a, nullptr);
    fiber_b = ::CreateFiber(0, run_fiber_b, nullptr);
    fiber_c = ::CreateFiber(0, run_fiber_c, nullptr);
    journal_set_callback("tvcRunMain", switch_inside_call);
    ::SwitchToFiber(fiber_a);
    ::SwitchToFiber(fiber_c);
    ::DeleteFiber(fiber_c);
    journal_set_callback("tvcRunMain", nullptr);
    throw_and_catch("after the fibers");
    tvcRunMain_proxy(nullptr, 4, nullptr);
    ::DeleteFiber(fiber_a);
    ::DeleteFiber(fiber_b);
    ::ConvertFiberToThread();
    std::printf("fibers=done\n");
}

// The program's state after a call as the bound function left it: last
// error, errno and the floating-point flags and rounding mode. A stand-in
// that sets them, and a call that leaves them to the caller's values.
void report_state(const char *what) {
    const int flags = std::fetestexcept(FE_ALL_EXCEPT);
    const int round = std::fegetround();
    const int error_number = errno;
    const DWORD last_error = ::GetLastError();
    std::printf("state %s error=%lu errno=%d fp=0x%x round=%d\n", what, last_error, error_number, flags, round);
    std::fesetround(FE_TONEAREST);
}
void set_state() {
    std::feclearexcept(FE_ALL_EXCEPT);
    std::fesetround(FE_UPWARD);
    errno = 33;
    ::SetLastError(4242);
}
void check_program_state() {
    journal_set_callback("tvcGetEps", set_state);
    tvcGetEps_proxy();
    report_state("locked-double-result");
    journal_set_callback("tvcGetEps", nullptr);
    journal_set_callback("tvcRunMain", set_state);
    tvcRunMain_proxy(nullptr, 0, nullptr);
    report_state("direct");
    journal_set_callback("tvcRunMain", nullptr);
    set_state();
    std::fesetround(FE_TONEAREST);
    tvcSetLastErrIdAndMsg_proxy(nullptr, nullptr);
    report_state("locked-null-text");
    set_state();
    std::fesetround(FE_TONEAREST);
    tvcIsFinite_proxy(4.9e-310);
    report_state("locked-denormal-argument");
}

// Numbers in the trace whatever locale the program sets.
void call_under_decimal_comma() {
    std::setlocale(LC_ALL, "German");
    std::printf("printf=%.1f\n", 2.5);
    tvcIsFinite_proxy(2.5);
    std::setlocale(LC_ALL, "C");
}

// The trace into a pipe that the host reads itself: lines written while
// it is open arrive; once it is closed the next write fails.
void trace_into_pipe(const std::string &name) {
    const std::string path = "\\\\.\\pipe\\" + name;
    const tvc::unique_handle server(::CreateNamedPipeA(path.c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE | PIPE_WAIT,
                                                       1, 0, 1 << 16, 0, nullptr));
    ::SetEnvironmentVariableA("TVCVRTRT_TRACE", path.c_str());
    std::printf("init=%d\n", tvcvrtInitialize_proxy());
    vltClose_proxy(nullptr);
    std::string arrived;
    DWORD available = 0;
    while (::PeekNamedPipe(server.get(), nullptr, 0, nullptr, &available, nullptr) && available > 0) {
        std::string chunk(available, '\0');
        DWORD read = 0;
        if (!::ReadFile(server.get(), chunk.data(), available, &read, nullptr)) break;
        arrived.append(chunk.data(), read);
    }
    int lines = 0;
    for (const char ch : arrived) lines += ch == '\n';
    std::printf("pipe=%d first=%s\n", lines, arrived.substr(0, arrived.find(' ')).c_str());
    std::fflush(stdout);
    ::DisconnectNamedPipe(server.get());
    vltClose_proxy(nullptr);
    vltClose_proxy(nullptr);
}

// A process that exits while threads write lines: a thread ended inside a
// write may hold the lock for lines for ever.
std::int32_t write_nothing(const void *, const void *) { return 0; }
void at_exit_detach() {
    tvcWrite_proxy(reinterpret_cast<const void *>(9), nullptr);
    tvc::finish_call_trace_at_exit();
    const char said[] = "detach-call=returned\n";
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), said, sizeof said - 1, &written, nullptr);
}
void exit_while_tracing() {
    TVC_SLOT(tvcWrite) = &write_nothing;
    tvc::install_call_trace();
    HANDLE started[4];
    for (HANDLE &event : started) event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    for (HANDLE event : started) {
        std::thread([event] {
            for (int call = 0;; ++call) {
                tvcWrite_proxy(nullptr, nullptr);
                if (call == 100) ::SetEvent(event);
            }
        }).detach();
    }
    ::WaitForMultipleObjects(4, started, TRUE, 20000);
    journal_set_exit_callback(at_exit_detach);
    std::fflush(stdout);
    ::ExitProcess(0);
}

int await_input(const std::string &) {
    std::printf("awaiting input\n");
    std::fflush(stdout);
    char line[16];
    return std::fgets(line, sizeof line, stdin) == nullptr ? 4 : 0;
}

void make_calls(int calls) {
    TVC_SLOT(tvcWrite) = &write_nothing;
    tvc::install_call_trace();
    for (int call = 0; call < calls; ++call) tvcWrite_proxy(nullptr, reinterpret_cast<const void *>(call));
}

// The trace into a pipe whose reader keeps it open and reads nothing: once
// its buffer is full, the program goes on untraced.
void trace_into_unread_pipe(const std::string &name) {
    const std::string path = "\\\\.\\pipe\\" + name;
    const tvc::unique_handle server(::CreateNamedPipeA(path.c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE | PIPE_WAIT,
                                                       1, 0, 4096, 0, nullptr));
    ::SetEnvironmentVariableA("TVCVRTRT_TRACE", path.c_str());
    std::printf("init=%d\n", tvcvrtInitialize_proxy());
    std::fflush(stdout);
    make_calls(3000);
    std::printf("calls=done\n");
}

// A thread ended by TerminateThread while it maps a stretch holds the lock
// for ever; the calls after it go on, their lines dropped and counted.
void calls_after_mapping_thread_ended() {
    TVC_SLOT(tvcWrite) = &write_nothing;
    tvc::install_call_trace();
    static HANDLE inside = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const tvc::unique_handle mapping(::CreateThread(
        nullptr, 0,
        [](void *) -> DWORD {
            tvc::trace::inside_stretch_mapping([] {
                ::SetEvent(inside);
                ::Sleep(INFINITE);
            });
            return 0;
        },
        nullptr, 0, nullptr));
    ::WaitForSingleObject(inside, INFINITE);
    ::TerminateThread(mapping.get(), 1);
    ::WaitForSingleObject(mapping.get(), INFINITE);
    make_calls(60000);
}

// A direct forwarder takes no lock: the threads' calls, and their trace
// lines, really overlap. Each call shows its thread's number and its own.
void make_calls_on_threads() {
    TVC_SLOT(tvcWrite) = &write_nothing;
    tvc::install_call_trace();
    tvc_test::on_threads_at_once(8, [](int index) {
        const void *number = reinterpret_cast<const void *>(static_cast<std::uintptr_t>(index) + 1);
        for (std::uintptr_t call = 0; call < 10000; ++call) {
            tvcWrite_proxy(number, reinterpret_cast<const void *>(call));
        }
    });
}

// A bound function that leaves a value of its own in every register that
// a caller may read a result from, and a caller that keeps them as the
// forwarder returned them.
extern "C" {
std::uint64_t registers_after[6];
void leave_registers();
void call_keeping_registers();
}
__asm__(".text\n\t.globl leave_registers\n\t.def leave_registers;\t.scl 2;\t.type 32;\t.endef\n"
        "leave_registers:\n\t"
        "movq $0x1111, %rax\n\tmovq $0x2222, %rdx\n\tmovq $0x3333, %rcx\n\tmovq %rcx, %xmm0\n\t"
        "movq $0x4444, %rcx\n\tmovq %rcx, %xmm1\n\tmovq $0x5555, %rcx\n\tmovq %rcx, %xmm2\n\t"
        "movq $0x6666, %rcx\n\tmovq %rcx, %xmm3\n\tret\n");
__asm__(".text\n\t.globl call_keeping_registers\n\t.def call_keeping_registers;\t.scl 2;\t.type 32;\t.endef\n"
        "\t.seh_proc call_keeping_registers\ncall_keeping_registers:\n\t"
        "subq $40, %rsp\n\t.seh_stackalloc 40\n\t.seh_endprologue\n\t"
        "call tvcRunMain_proxy\n\t"
        "movq %rax, registers_after(%rip)\n\tmovq %rdx, registers_after+8(%rip)\n\t"
        "movq %xmm0, registers_after+16(%rip)\n\tmovq %xmm1, registers_after+24(%rip)\n\t"
        "movq %xmm2, registers_after+32(%rip)\n\tmovq %xmm3, registers_after+40(%rip)\n\t"
        "addq $40, %rsp\n\tret\n\t.seh_endproc\n");

void report_returned_registers() {
    using slot_type = decltype(TVC_SLOT(tvcRunMain));
    TVC_SLOT(tvcRunMain) = reinterpret_cast<slot_type>(&leave_registers);
    tvc::install_call_trace();
    call_keeping_registers();
    std::printf("registers=");
    for (const std::uint64_t value : registers_after) std::printf("%llx ", static_cast<unsigned long long>(value));
    std::printf("\n");
}

void bind_on_threads() {
    tvc_test::on_threads_at_once(8, [](int) {
        init_proxy_libraries();
        for (int call = 0; call < 1000; ++call) vltClose_proxy(nullptr);
    });
}

// Traced calls, then the process ends abruptly: by a fault that nothing
// handles, or by TerminateProcess from another thread while this one waits.
// Neither runs any library's exit.
void calls_then_abrupt_end(int calls, bool fault) {
    TVC_SLOT(tvcWrite) = &write_nothing;
    tvc::install_call_trace();
    for (int call = 0; call < calls; ++call) tvcWrite_proxy(nullptr, reinterpret_cast<const void *>(call));
    std::fflush(stdout);
    if (fault) {
        // The system's default for an unhandled fault, without a debugger.
        ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
        ::SetUnhandledExceptionFilter([](EXCEPTION_POINTERS *) -> LONG { return EXCEPTION_EXECUTE_HANDLER; });
        *static_cast<volatile int *>(nullptr) = 1;
    }
    std::thread([] { ::TerminateProcess(::GetCurrentProcess(), 7); }).detach();
    ::Sleep(INFINITE);
}

void race(int threads) {
    std::vector<int> results(threads);
    tvc_test::on_threads_at_once(threads, [&](int index) { results[index] = tvcvrtInitialize_proxy(); });
    int succeeded = 0;
    for (int result : results) succeeded += result;
    std::printf("race=%d\n", succeeded);
}

// The loader lock, which every library load takes.
extern "C" LONG NTAPI LdrLockLoaderLock(ULONG flags, ULONG *result, ULONG_PTR *cookie);
extern "C" LONG NTAPI LdrUnlockLoaderLock(ULONG flags, ULONG_PTR cookie);

// Whichever thread runs the sequence stops at its first library load while
// this thread holds the loader lock, so that all the others are sure to
// arrive while the run is under way. The threads are running before the
// lock is taken: a thread's start takes it too.
void race_held_at_first_load(int threads) {
    std::vector<int> results(threads);
    tvc_test::start_gate running(threads + 1), go(threads + 1);
    std::vector<std::thread> racing;
    for (int index = 0; index < threads; ++index) {
        racing.emplace_back([&, index] {
            running.arrive_and_wait();
            go.arrive_and_wait();
            switch (index % 3) {
            case 0: results[index] = tvcvrtInitialize_proxy(); break;
            case 1: results[index] = tvcvrtInitialize2_proxy(3); break;
            case 2: results[index] = tvcInitializeApplication_proxy(nullptr, 0); break;
            }
        });
    }
    running.arrive_and_wait();
    ULONG_PTR cookie = 0;
    LdrLockLoaderLock(0, nullptr, &cookie);
    go.arrive_and_wait();
    while (tvc::threads_waiting_for_initialization() != threads - 1) ::SwitchToThread();
    LdrUnlockLoaderLock(0, cookie);
    for (std::thread &thread : racing) thread.join();
    int succeeded = 0;
    for (int result : results) succeeded += result;
    std::printf("race=%d\n", succeeded);
}

std::string reentering_symbol;

// A runtime that calls back into initialization from inside it, once.
void reenter_initialization() {
    journal_set_callback(reentering_symbol.c_str(), nullptr);
    const int init = tvcvrtInitialize_proxy();
    const int init2 = tvcvrtInitialize2_proxy(7);
    const int app = tvcInitializeApplication_proxy(reinterpret_cast<const void *>(0x1234), 77);
    journal_record(("reentered init=" + std::to_string(init) + " init2=" + std::to_string(init2) +
                    " app=" + std::to_string(app)).c_str());
}

// A runtime whose initialization starts a thread that initializes: the
// thread waits for the run under way, so the runtime must not wait for it
// (it would wait for ever); here it only waits, bounded, until the thread
// is seen waiting.
std::thread helper_thread;
int helper_result = -1;
void start_initializing_helper() {
    journal_set_callback(reentering_symbol.c_str(), nullptr);
    helper_thread = std::thread([] { helper_result = tvcvrtInitialize_proxy(); });
    for (int tries = 0; tries < 10000 && tvc::threads_waiting_for_initialization() == 0; ++tries) ::Sleep(1);
}

// The unwind case's hooks over the MinGW-w64 test runtime: its way out is
// the stand-in's GCC exception.
const tvc_unwind::hooks gcc_exception_hooks = {
    [](const char *symbol, bool (*call)()) {
        journal_set_throwing(symbol);
        try {
            call();
        } catch (const std::runtime_error &) {
            journal_set_throwing(nullptr);
            return true;
        }
        return false;
    },
    [](const char *symbol, bool refused) {
        const bool answer = !refused;
        journal_set_result(symbol, &answer, sizeof answer);
    },
    journal_lock_depth,
    [](const char *symbol) {
        const std::string call = std::string(symbol) + "(";
        int calls = 0;
        for (std::size_t index = 0; index < journal_size(); ++index) {
            calls += std::strncmp(journal_line(index), call.c_str(), call.size()) == 0;
        }
        return calls;
    },
    [](const char *text) {
        std::fputs(text, stdout);
        std::fflush(stdout);
    },
};

// A command: its name, ending in ':' when an argument follows it, one line
// of help, and what it does; a result other than 0 ends the host with it.
struct command {
    const char *name;
    const char *help;
    int (*run)(const std::string &argument);
};

int print_help(const std::string &);

const command commands[] = {
    {"lib:", "<dir>: sibling libraries load from dir; the other runtime paths get fixed values",
     [](const std::string &dir) { return set_runtime_paths(dir), 0; }},
    {"verbose", "one \"Loading <path>\" line per library load", [](const std::string &) { return tvc::verbose = true, 0; }},
    {"result:", "<symbol>=<n>: the stand-in of symbol returns n",
     [](const std::string &assignment) {
         const std::size_t equals = assignment.find('=');
         const long long value = std::atoll(assignment.c_str() + equals + 1);
         journal_set_result(assignment.substr(0, equals).c_str(), &value, sizeof value);
         return 0;
     }},
    {"init", "\"init=<0|1>\" from tvcvrtInitialize_proxy",
     [](const std::string &) { return std::printf("init=%d\n", tvcvrtInitialize_proxy()), 0; }},
    {"init2:", "<n>: \"init=<0|1>\" from tvcvrtInitialize2_proxy(n)",
     [](const std::string &n) { return std::printf("init=%d\n", tvcvrtInitialize2_proxy(std::atoi(n.c_str()))), 0; }},
    {"app", "\"app=<0|1>\" from tvcInitializeApplication_proxy",
     [](const std::string &) {
         return std::printf("app=%d\n", tvcInitializeApplication_proxy(reinterpret_cast<const void *>(0x1234), 77)), 0;
     }},
    {"race:", "<n>: n threads initialize at once; \"race=<how many got true>\"",
     [](const std::string &n) { return race(std::atoi(n.c_str())), 0; }},
    {"held-race:", "<n>: likewise through the three entry points, the first run held at its first load",
     [](const std::string &n) { return race_held_at_first_load(std::atoi(n.c_str())), 0; }},
    {"reenter:", "<symbol>: its first call enters the three entry points again and journals the results",
     [](const std::string &symbol) {
         reentering_symbol = symbol;
         journal_set_callback(symbol.c_str(), reenter_initialization);
         return 0;
     }},
    {"helper:", "<symbol>: its call starts a thread that initializes; \"helper init=<0|1>\" after the next command",
     [](const std::string &symbol) {
         reentering_symbol = symbol;
         journal_set_callback(symbol.c_str(), start_initializing_helper);
         return 0;
     }},
    {"bind-directly", "init_proxy_libraries; \"escaped: <message>\" when it throws",
     [](const std::string &) {
         try {
             init_proxy_libraries();
         } catch (const tvc::apiException &error) {
             std::printf("escaped: %s\n", error.what());
         }
         return 0;
     }},
    {"journal", "the stand-ins' calls since the last report, one a line", [](const std::string &) { return report_journal(), 0; }},
    {"slots", "per family, a 1 or 0 for each bound or null slot", [](const std::string &) { return report_slots(), 0; }},
    {"addresses:", "<family>: the family's slot addresses",
     [](const std::string &family) { return report_addresses(family), 0; }},
    {"copy:", "<from>|<to>: copies a file (to repair a layout between attempts); exit 3 when it fails",
     [](const std::string &paths) {
         const std::size_t bar = paths.find('|');
         return ::CopyFileA(paths.substr(0, bar).c_str(), paths.substr(bar + 1).c_str(), FALSE) ? 0 : 3;
     }},
    {"call-all", "calls every export with zero arguments; \"<export> <first result byte>\" for each nonzero result",
     [](const std::string &) {
         for (const forwarder_case &entry : cases) {
             if (entry.call) report_result(entry.export_name.c_str(), entry.call());
         }
         call_special_exports();
         return 0;
     }},
    {"trace:", "<file>: sets TVCVRTRT_TRACE for the initialization to come",
     [](const std::string &file) { return ::SetEnvironmentVariableA("TVCVRTRT_TRACE", file.c_str()), 0; }},
    {"filter:", "<patterns>: sets TVCVRTRT_TRACE_FILTER likewise, from UTF-8",
     [](const std::string &patterns) {
         wchar_t wide[512] = {};
         ::MultiByteToWideChar(CP_UTF8, 0, patterns.c_str(), -1, wide, 511);
         return ::SetEnvironmentVariableW(L"TVCVRTRT_TRACE_FILTER", wide), 0;
     }},
    {"install-trace", "puts the tracing entries in front once more", [](const std::string &) { return tvc::install_call_trace(), 0; }},
    {"wrapped", "\"wrapped=<n>\": slots that hold another address than their symbol's in its library",
     [](const std::string &) { return report_wrapped_slots(), 0; }},
    {"traced-calls", "\"thread=<id>\", one call of each shape, the last two throwing: \"caught=<what> lock=<depth>\"",
     [](const std::string &) { return make_traced_calls(), 0; }},
    {"traced-nested", "tvcRunMain_proxy, whose stand-in calls tvcGetEps_proxy, whose stand-in calls vltClose_proxy",
     [](const std::string &) {
         journal_set_callback("tvcRunMain", [] { tvcGetEps_proxy(); });
         journal_set_callback("tvcGetEps", [] { vltClose_proxy(nullptr); });
         tvcRunMain_proxy(nullptr, 0, nullptr);
         return 0;
     }},
    {"ten-mixed", "\"ten-mixed=same\" when the traced direct forwarder hands on ten mixed arguments",
     [](const std::string &) {
         const bool same = tvc_test::ten_mixed_arguments_arrive(tvc::install_call_trace);
         return std::printf("ten-mixed=%s\n", same ? "same" : "different"), 0;
     }},
    {"traced-jump", "tvcRunMain_proxy left by a jump, then \"caught=<what>\" for an exception on the same thread",
     [](const std::string &) {
         jump_over_a_traced_call();
         throw_and_catch("after the jump");
         return 0;
     }},
    {"traced-texts", "calls with text arguments: 1,000 bytes, quotes, a backslash, control characters",
     [](const std::string &) { return make_text_calls(), 0; }},
    {"raise-elsewhere", "another thread raises and catches while tvcRunMain_proxy is pending; \"caught=elsewhere\"",
     [](const std::string &) { return raise_on_another_thread(), 0; }},
    {"walk", "\"frames=<n> caller=<yes|no>\" and \"handler-caller=<yes|no>\" from stack walks inside a traced call",
     [](const std::string &) { return walk_the_stack(), 0; }},
    {"fibers", "fibers with traced calls pending return out of order, one deleted inside; \"fibers=done\"",
     [](const std::string &) { return run_fibers(), 0; }},
    {"program-state", "\"state <what> error=<n> errno=<n> fp=<flags> round=<mode>\" after calls of each kind",
     [](const std::string &) { return check_program_state(), 0; }},
    {"decimal-comma", "\"printf=<2.5 by printf>\" under a German locale, then tvcIsFinite_proxy(2.5)",
     [](const std::string &) { return call_under_decimal_comma(), 0; }},
    {"pipe:", "<name>: traces into \\\\.\\pipe\\<name> read by the host; \"pipe=<lines> first=<first line>\", then it closes",
     [](const std::string &name) { return trace_into_pipe(name), 0; }},
    {"exit-while-tracing", "4 threads call tvcWrite_proxy while the host exits; \"detach-call=returned\" from the detach",
     [](const std::string &) { return exit_while_tracing(), 0; }},
    {"traced-threads", "8 threads call tvcWrite_proxy 10,000 times each at once, with their numbers",
     [](const std::string &) { return make_calls_on_threads(), 0; }},
    {"calls:", "<n>: tvcWrite_proxy n times, traced, each with its number as its second argument",
     [](const std::string &n) { return make_calls(std::atoi(n.c_str())), 0; }},
    {"await-input", "\"awaiting input\", then a line read from standard input", await_input},
    {"pipe-unread:", "<name>: traces into \\\\.\\pipe\\<name> that the host never reads; init, calls:3000, \"calls=done\"",
     [](const std::string &name) { return trace_into_unread_pipe(name), 0; }},
    {"mapping-held", "a thread ended inside the mapping of a stretch, then calls:60000, past the first stretch",
     [](const std::string &) { return calls_after_mapping_thread_ended(), 0; }},
    {"returned-registers", "\"registers=<rax> <rdx> <xmm0> <xmm1> <xmm2> <xmm3>\" after a traced direct call",
     [](const std::string &) { return report_returned_registers(), 0; }},
    {"bind-race", "8 threads call init_proxy_libraries at once, then vltClose_proxy 1,000 times each",
     [](const std::string &) { return bind_on_threads(), 0; }},
    {"fault-after:", "<n>: n traced calls, then a fault that nothing handles",
     [](const std::string &n) { return calls_then_abrupt_end(std::atoi(n.c_str()), true), 0; }},
    {"terminate-after:", "<n>: n traced calls, then TerminateProcess from another thread",
     [](const std::string &n) { return calls_then_abrupt_end(std::atoi(n.c_str()), false), 0; }},
    {"unwind:", "<shape>: the call of shape left by a GCC exception, and its checks; exit 1 when one fails",
     [](const std::string &shape) { return tvc_unwind::run(shape.c_str(), true, gcc_exception_hooks), 0; }},
    {"help", "these lines", print_help},
};

int print_help(const std::string &) {
    for (const command &each : commands) std::printf("  %-20s %s\n", each.name, each.help);
    return 0;
}

// The command that text names, and its argument.
const command *find_command(const std::string &text, std::string &argument) {
    for (const command &each : commands) {
        const std::string name = each.name;
        const bool takes_argument = name.back() == ':';
        if (takes_argument ? text.compare(0, name.size(), name) == 0 : text == name) {
            argument = takes_argument ? text.substr(name.size()) : std::string();
            return &each;
        }
    }
    return nullptr;
}

}  // namespace

int main(int argc, char **argv) {
    ::_setmode(::_fileno(stdout), _O_BINARY);
    // The library's own exit, as its DLL_PROCESS_DETACH does it.
    journal_set_exit_callback([] { tvc::finish_call_trace_at_exit(); });
    for (int index = 1; index < argc; ++index) {
        std::string argument;
        const command *found = find_command(argv[index], argument);
        if (found == nullptr) return 2;
        if (const int exit_code = found->run(argument); exit_code != 0) return exit_code;
        // The helper's thread ends in the command after the one that started it.
        if (helper_thread.joinable() && std::strcmp(found->name, "helper:") != 0) {
            helper_thread.join();
            std::printf("helper init=%d\n", helper_result);
        }
        std::fflush(stdout);
    }
    return 0;
}
