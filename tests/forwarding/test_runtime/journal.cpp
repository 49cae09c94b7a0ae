#include "tests/forwarding/test_runtime/journal.h"

#include <windows.h>

#include <array>
#include <atomic>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>

namespace {

std::mutex state_mutex;
std::deque<std::string> lines;  // a deque keeps handed-out lines in place
std::map<std::string, std::array<unsigned char, 16>> results;
std::string throwing_symbol;
std::map<std::string, void (*)()> callbacks;

CRITICAL_SECTION api_lock;
std::atomic<DWORD> api_lock_owner{0};
int api_lock_depth = 0;  // touched only by the owner
std::atomic<int> inside_runtime{0};
std::atomic<void (*)()> exit_callback{nullptr};

struct api_lock_setup {
    api_lock_setup() { ::InitializeCriticalSection(&api_lock); }
} setup;

}  // namespace

void journal_record(const char *line) {
    std::lock_guard<std::mutex> hold(state_mutex);
    lines.emplace_back(line);
}

std::size_t journal_size() {
    std::lock_guard<std::mutex> hold(state_mutex);
    return lines.size();
}

const char *journal_line(std::size_t index) {
    std::lock_guard<std::mutex> hold(state_mutex);
    return index < lines.size() ? lines[index].c_str() : nullptr;
}

void journal_clear() {
    std::lock_guard<std::mutex> hold(state_mutex);
    lines.clear();
}

void journal_set_result(const char *symbol, const void *bytes, std::size_t size) {
    std::array<unsigned char, 16> value{};
    std::memcpy(value.data(), bytes, size < value.size() ? size : value.size());
    std::lock_guard<std::mutex> hold(state_mutex);
    results[symbol] = value;
}

bool journal_result(const char *symbol, void *bytes16) {
    std::lock_guard<std::mutex> hold(state_mutex);
    const auto found = results.find(symbol);
    if (found == results.end()) return false;
    std::memcpy(bytes16, found->second.data(), found->second.size());
    return true;
}

void journal_set_throwing(const char *symbol) {
    std::lock_guard<std::mutex> hold(state_mutex);
    throwing_symbol = symbol ? symbol : "";
}

bool journal_throwing(const char *symbol) {
    std::lock_guard<std::mutex> hold(state_mutex);
    return !throwing_symbol.empty() && throwing_symbol == symbol;
}

void journal_set_callback(const char *symbol, void (*callback)()) {
    std::lock_guard<std::mutex> hold(state_mutex);
    callbacks[symbol] = callback;
}

void (*journal_callback(const char *symbol))() {
    std::lock_guard<std::mutex> hold(state_mutex);
    const auto found = callbacks.find(symbol);
    return found == callbacks.end() ? nullptr : found->second;
}

void journal_lock_acquire() {
    ::EnterCriticalSection(&api_lock);
    api_lock_owner = ::GetCurrentThreadId();
    ++api_lock_depth;
}

// Leaving a critical section that the thread does not hold corrupts it; the
// stand-in says so instead.
void journal_lock_release() {
    if (api_lock_owner != ::GetCurrentThreadId()) {
        journal_record("tvcReleaseMutex() without the lock held");
        return;
    }
    if (--api_lock_depth == 0) api_lock_owner = 0;
    ::LeaveCriticalSection(&api_lock);
}

int journal_lock_depth() { return api_lock_owner == ::GetCurrentThreadId() ? api_lock_depth : 0; }

int journal_enter_runtime() { return inside_runtime++; }

void journal_leave_runtime() { --inside_runtime; }

void journal_set_exit_callback(void (*callback)()) { exit_callback = callback; }

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_DETACH && reserved != nullptr) {
        if (void (*callback)() = exit_callback.load()) callback();
    }
    return TRUE;
}
