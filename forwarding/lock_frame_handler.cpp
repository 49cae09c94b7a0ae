// The handler of the locked forwarders' frames (forwarder_frames.S): leaves
// the API lock when an unwind takes a call out of the frame while it holds
// the lock, whoever started the unwind.
#include "forwarding/api_lock.h"

#include <windows.h>

#include <cstdint>

extern "C" EXCEPTION_DISPOSITION tvc_locked_frame_handler(EXCEPTION_RECORD *record, void *, CONTEXT *,
                                                          DISPATCHER_CONTEXT *dispatch) noexcept {
    if ((record->ExceptionFlags & EXCEPTION_UNWINDING) == 0) return ExceptionContinueSearch;
    // The frame holds the lock only while it calls the bound function: then
    // the frame's place is that call's return address, which its handler
    // data names. An unwind from the lock's own calls finds it elsewhere.
    const auto holding = static_cast<const std::uint32_t *>(dispatch->HandlerData);
    if (dispatch->ControlPc == dispatch->ImageBase + *holding) tvc::leave_api_lock();
    return ExceptionContinueSearch;
}
