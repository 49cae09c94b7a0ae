// Cleanup that runs however a call leaves: by return, by a C++ exception of
// GCC or of the platform's compiler, by longjmp, or by a structured
// exception that a handler further up unwinds to. The system unwinds every
// one of these with RtlUnwindEx, which calls the handler of each frame it
// passes; a GCC destructor runs only for GCC's own exceptions, a frame's
// handler for all of them. So what must be undone when a call into code of
// another compiler leaves by unwinding is undone from the handler of a frame
// in assembly (unwind_cleanup.S), not from a destructor.
#pragma once

#include <windows.h>

#include <type_traits>

extern "C" {
// Calls body(context). When the call is left by an unwind instead of a
// return, on_unwind(context, the exception's code) runs once, before the
// frames above are unwound; the unwind then goes on. on_unwind must not
// throw.
void tvc_call_with_unwind_cleanup(void (*body)(void *context), void *context,
                                  void (*on_unwind)(void *context, DWORD code) noexcept);
}

namespace tvc {

// body() under on_unwind(code), for lambdas: nothing is allocated.
template <typename Body, typename OnUnwind>
void call_with_unwind_cleanup(Body &&body, OnUnwind &&on_unwind) {
    static_assert(std::is_nothrow_invocable_v<OnUnwind &, DWORD>, "a cleanup must not throw");
    struct pieces {
        std::remove_reference_t<Body> *body;
        std::remove_reference_t<OnUnwind> *on_unwind;
    } both{&body, &on_unwind};
    tvc_call_with_unwind_cleanup([](void *context) { (*static_cast<pieces *>(context)->body)(); }, &both,
                                 [](void *context, DWORD code) noexcept {
                                     (*static_cast<pieces *>(context)->on_unwind)(code);
                                 });
}

}  // namespace tvc
