// A client built by the platform's own compiler (clang for the platform's
// target, lld-link, no C runtime of its own) over the stand-in runtime of
// that compiler: runs one unwind case (tests/forwarding/unwind_case.h) and
// exits 0 when every check held, 1 otherwise.
//   unwind_client <shape> <way>
// way: return (the runtime returns), throw (its C++ exception, caught by
// catch), jump (longjmp to this client's setjmp), raise (a structured
// exception, unwound to this client's __except). The library under test is
// the tvcvrtrt7_17.dll beside this program; VRTROOT names the runtime.
#include "tests/forwarding/platform_runtime/control.h"
#include "tests/forwarding/platform_runtime/system.h"
#include "tests/forwarding/unwind_case.h"

// In jump.c: the C runtime's _setjmp, known as such.
extern "C" bool leave_by_jump(const char *symbol, bool (*call)());

namespace {

void print(const char *text) {
    unsigned long written = 0;
    WriteFile(GetStdHandle(static_cast<unsigned long>(-11)), text, static_cast<unsigned long>(lstrlenA(text)),
              &written, nullptr);
}

bool leave_by_throw(const char *symbol, bool (*call)()) {
    control_leave(symbol, way_out::thrown, nullptr);
    try {
        call();
    } catch (int value) {
        return value == thrown_value;
    }
    return false;
}

bool leave_by_raise(const char *symbol, bool (*call)()) {
    control_leave(symbol, way_out::raised, nullptr);
    __try {
        call();
    } __except (_exception_code() == raised_code) {
        return true;
    }
    return false;
}

void refuse(const char *symbol, bool refused) {
    control_leave(refused ? symbol : nullptr, way_out::refused, nullptr);
}

bool same(const char *left, const char *right) { return lstrcmpA(left, right) == 0; }

// The next argument of a command line that quotes each of them (or
// nothing, for the program's name); argument points past it. The command
// line is this process's own and stays.
char *next_argument(char *&argument) {
    while (*argument == ' ') ++argument;
    const char end = *argument == '"' ? *argument++ : ' ';
    char *start = argument;
    while (*argument != '\0' && *argument != end) ++argument;
    if (*argument != '\0') *argument++ = '\0';
    return start;
}

}  // namespace

extern "C" int main() {
    char *argument = GetCommandLineA();
    next_argument(argument);
    const char *shape = next_argument(argument);
    const char *way = next_argument(argument);
    tvc_unwind::hooks with = {nullptr, refuse, control_lock_depth, control_calls, print};
    if (same(way, "throw")) with.leave = leave_by_throw;
    if (same(way, "jump")) with.leave = leave_by_jump;
    if (same(way, "raise")) with.leave = leave_by_raise;
    if (with.leave == nullptr && !same(way, "return")) {
        print("unknown way out\n");
        ExitProcess(2);
    }
    tvc_unwind::run(shape, with.leave != nullptr, with);
    ExitProcess(0);
    return 0;
}
