// The handler of tvc_call_with_unwind_cleanup's frame (unwind_cleanup.S).
#include "common/unwind_cleanup.h"

#include <cstddef>
#include <cstdint>

namespace {

// The frame as unwind_cleanup.S lays it out, from its rsp after the prologue,
// which the system hands the handler as the establisher frame.
struct cleanup_frame {
    std::uint64_t home[4];
    void *context;
    void (*on_unwind)(void *context, DWORD code) noexcept;
    std::uint64_t done;
};
static_assert(offsetof(cleanup_frame, context) == 32 && offsetof(cleanup_frame, on_unwind) == 40 &&
                  offsetof(cleanup_frame, done) == 48,
              "the frame of unwind_cleanup.S");

}  // namespace

extern "C" EXCEPTION_DISPOSITION tvc_unwind_cleanup_handler(EXCEPTION_RECORD *record, void *establisher_frame,
                                                            CONTEXT *, void *) noexcept {
    // The search for a handler passes the frame too; only an unwind leaves it.
    if ((record->ExceptionFlags & EXCEPTION_UNWINDING) == 0) return ExceptionContinueSearch;
    cleanup_frame &frame = *static_cast<cleanup_frame *>(establisher_frame);
    if (frame.done == 0) {
        frame.done = 1;
        frame.on_unwind(frame.context, record->ExceptionCode);
    }
    return ExceptionContinueSearch;
}
