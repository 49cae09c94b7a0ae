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
// which checks them.

#define STACK_SLOTS 16
#define HOME 0                  /* the bound function's home area */
#define ARGUMENTS 32            /* the copied stack argument slots */
#define RESULTS ARGUMENTS       /* after the call: rax, rdx, xmm0-xmm3 */
#define CALL (ARGUMENTS + 8 * STACK_SLOTS)   /* struct tvc_direct_call */
#define CALL_ENTRY (CALL + 0)
#define CALL_REGISTERS (CALL + 8)
#define XMM (CALL + 64)         /* xmm0-xmm3, 16-byte aligned */
#define FRAME (XMM + 64)
/* One push (rbx) and the return address above the frame. */
#define CALLER_ARGUMENTS (FRAME + 8 + 8 + 32)

    .text
    .p2align 4
    .globl tvc_direct_tracing
    .def tvc_direct_tracing; .scl 2; .type 32; .endef
    .seh_proc tvc_direct_tracing
    .seh_handler tvc_direct_frame_handler, @unwind
tvc_direct_tracing:
    pushq %rbx
    .seh_pushreg %rbx
    subq $FRAME, %rsp
    .seh_stackalloc FRAME
    .seh_endprologue
    movq %r11, %rbx
    movq %r11, CALL_ENTRY(%rsp)
    movq %rcx, CALL_REGISTERS(%rsp)
    movq %rdx, CALL_REGISTERS+8(%rsp)
    movq %r8, CALL_REGISTERS+16(%rsp)
    movq %r9, CALL_REGISTERS+24(%rsp)
    movaps %xmm0, XMM(%rsp)
    movaps %xmm1, XMM+16(%rsp)
    movaps %xmm2, XMM+32(%rsp)
    movaps %xmm3, XMM+48(%rsp)
    .set slot, 0
    .rept STACK_SLOTS
    movq CALLER_ARGUMENTS+8*slot(%rsp), %rax
    movq %rax, ARGUMENTS+8*slot(%rsp)
    .set slot, slot + 1
    .endr
    leaq CALL(%rsp), %rcx
    call tvc_direct_begin
    movq CALL_REGISTERS(%rsp), %rcx
    movq CALL_REGISTERS+8(%rsp), %rdx
    movq CALL_REGISTERS+16(%rsp), %r8
    movq CALL_REGISTERS+24(%rsp), %r9
    movaps XMM(%rsp), %xmm0
    movaps XMM+16(%rsp), %xmm1
    movaps XMM+32(%rsp), %xmm2
    movaps XMM+48(%rsp), %xmm3
    /* rax as the untraced forwarder leaves it: the bound address. */
    movq 8(%rbx), %rax
    call *%rax
    /* Every register a caller may read a result from, as the function
       left it, over the copied stack arguments, which are done with. */
    movq %rax, RESULTS(%rsp)
    movq %rdx, RESULTS+8(%rsp)
    movaps %xmm0, RESULTS+16(%rsp)
    movaps %xmm1, RESULTS+32(%rsp)
    movaps %xmm2, RESULTS+48(%rsp)
    movaps %xmm3, RESULTS+64(%rsp)
    leaq CALL(%rsp), %rcx
    movq %rax, %rdx
    call tvc_direct_end
    movq RESULTS(%rsp), %rax
    movq RESULTS+8(%rsp), %rdx
    movaps RESULTS+16(%rsp), %xmm0
    movaps RESULTS+32(%rsp), %xmm1
    movaps RESULTS+48(%rsp), %xmm2
    movaps RESULTS+64(%rsp), %xmm3
    addq $FRAME, %rsp
    popq %rbx
    ret
    .seh_endproc
