// The tracing entry of the direct forwarders: an ordinary function frame
// with complete unwind data, so that the system's unwinder, debuggers and
// stack walks pass through it as through any frame, and its return is a real
// return. A direct slot's stub puts the slot's tvc_direct_entry in r11 and
// jumps here with every argument register and the stack as the caller left
// them. The entry
//   - keeps rcx, rdx, r8, r9 and xmm0-xmm3 in its frame,
//   - copies the caller's first 16 stack argument slots (arguments 5 to 20)
//     into its own frame, where the bound function finds them as it would
//     in the caller's (a function that takes more than 20 arguments reads
//     the entry's own data beyond them),
//   - writes nothing to the caller's return address or home area,
//   - records the start (tvc_direct_begin), calls the bound function with
//     the registers as the caller left them, and records rax and the end
//     (tvc_direct_end), returning rax, rdx and xmm0-xmm3 as the function
//     left them.
// An exception that leaves the call finds the frame handler
// tvc_direct_frame_handler during the unwind, which writes the call's line
// with "exception" as its result.
// The offsets are those of struct tvc_direct_frame (direct_tracing.cpp),
// which checks them against the same header.
#include "call_trace/direct_tracing_frame.h"

    .text
    .p2align 4
    .globl tvc_direct_tracing
    .def tvc_direct_tracing; .scl 2; .type 32; .endef
    .seh_proc tvc_direct_tracing
    .seh_handler tvc_direct_frame_handler, @unwind
tvc_direct_tracing:
    pushq %rbx
    .seh_pushreg %rbx
    subq $FRAME_SIZE, %rsp
    .seh_stackalloc FRAME_SIZE
    .seh_endprologue
    movq %r11, %rbx
    movq %r11, FRAME_CALL_ENTRY(%rsp)
    movq %rcx, FRAME_CALL_REGISTERS(%rsp)
    movq %rdx, FRAME_CALL_REGISTERS+8(%rsp)
    movq %r8, FRAME_CALL_REGISTERS+16(%rsp)
    movq %r9, FRAME_CALL_REGISTERS+24(%rsp)
    movaps %xmm0, FRAME_XMM(%rsp)
    movaps %xmm1, FRAME_XMM+16(%rsp)
    movaps %xmm2, FRAME_XMM+32(%rsp)
    movaps %xmm3, FRAME_XMM+48(%rsp)
    .set slot, 0
    .rept FRAME_STACK_SLOTS
    movq FRAME_CALLER_ARGUMENTS+8*slot(%rsp), %rax
    movq %rax, FRAME_ARGUMENTS+8*slot(%rsp)
    .set slot, slot + 1
    .endr
    leaq FRAME_CALL(%rsp), %rcx
    call tvc_direct_begin
    movq FRAME_CALL_REGISTERS(%rsp), %rcx
    movq FRAME_CALL_REGISTERS+8(%rsp), %rdx
    movq FRAME_CALL_REGISTERS+16(%rsp), %r8
    movq FRAME_CALL_REGISTERS+24(%rsp), %r9
    movaps FRAME_XMM(%rsp), %xmm0
    movaps FRAME_XMM+16(%rsp), %xmm1
    movaps FRAME_XMM+32(%rsp), %xmm2
    movaps FRAME_XMM+48(%rsp), %xmm3
    /* rax as the untraced forwarder leaves it: the bound address. */
    movq TVC_DIRECT_ENTRY_TARGET(%rbx), %rax
    call *%rax
    /* Every register a caller may read a result from, as the function
       left it, over the copied stack arguments, which are done with. */
    movq %rax, FRAME_RESULTS(%rsp)
    movq %rdx, FRAME_RESULTS+8(%rsp)
    movaps %xmm0, FRAME_RESULTS+16(%rsp)
    movaps %xmm1, FRAME_RESULTS+32(%rsp)
    movaps %xmm2, FRAME_RESULTS+48(%rsp)
    movaps %xmm3, FRAME_RESULTS+64(%rsp)
    leaq FRAME_CALL(%rsp), %rcx
    movq %rax, %rdx
    call tvc_direct_end
    movq FRAME_RESULTS(%rsp), %rax
    movq FRAME_RESULTS+8(%rsp), %rdx
    movaps FRAME_RESULTS+16(%rsp), %xmm0
    movaps FRAME_RESULTS+32(%rsp), %xmm1
    movaps FRAME_RESULTS+48(%rsp), %xmm2
    movaps FRAME_RESULTS+64(%rsp), %xmm3
    addq $FRAME_SIZE, %rsp
    popq %rbx
    ret
    .seh_endproc
