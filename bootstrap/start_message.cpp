// The runtime's start message.
#include <atomic>
#include <cstdio>

#include "tvcvrtrt/diagnostics.h"

namespace {

constexpr char start_message_text[] = "Initializing Tovan Compiler Runtime version ";
constexpr char runtime_major_version[] = "7";
constexpr char runtime_minor_version[] = "17";
constexpr char runtime_version_suffix[] = "";

// Once set, only mode 0 prints again. Atomic so that concurrent callers are
// well defined; two of them may still both print.
std::atomic<bool> start_message_printed{false};

}  // namespace

void tvcDisplayStartMessage_proxy(int mode, tvcStartMessageCallback callback, void *user_data) {
    if (mode == 0 || !start_message_printed.load(std::memory_order_relaxed)) {
        std::printf("%s%s.%s%s\n", start_message_text, runtime_major_version, runtime_minor_version,
                    runtime_version_suffix);
        start_message_printed.store(true, std::memory_order_relaxed);
    }
    if ((mode == 0 || mode == 1) && callback) callback(user_data);
}
