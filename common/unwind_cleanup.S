// tvc_call_with_unwind_cleanup(body, context, on_unwind) (unwind_cleanup.h):
// a frame whose handler the system calls for every unwind through it.
// Frame: the callee's home area, then context, on_unwind, and whether the
// handler has run already (an unwind that collides with another may pass
// the frame twice). 56 bytes keep rsp 16-byte aligned at the call.
#define CONTEXT 32
#define ON_UNWIND 40
#define DONE 48
#define FRAME 56

    .text
    .p2align 4
    .globl tvc_call_with_unwind_cleanup
    .def tvc_call_with_unwind_cleanup; .scl 2; .type 32; .endef
    .seh_proc tvc_call_with_unwind_cleanup
    .seh_handler tvc_unwind_cleanup_handler, @unwind
tvc_call_with_unwind_cleanup:
    subq $FRAME, %rsp
    .seh_stackalloc FRAME
    .seh_endprologue
    movq %rdx, CONTEXT(%rsp)
    movq %r8, ON_UNWIND(%rsp)
    movq $0, DONE(%rsp)
    movq %rcx, %rax
    movq %rdx, %rcx
    call *%rax
    // A return address right before the epilogue would be taken for the
    // epilogue itself, and the handler skipped.
    nop
    addq $FRAME, %rsp
    ret
    .seh_endproc
