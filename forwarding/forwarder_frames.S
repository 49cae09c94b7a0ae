// Every forwarder that the binding tables give a shape, in assembly.
//
// Locked and guarded forwarders hold the API lock around the call. The call
// can leave by a C++ exception of GCC or of the platform's compiler, by
// longjmp, or by a structured exception that a caller's handler unwinds to;
// the system unwinds each of these with RtlUnwindEx, and a GCC destructor
// runs only for GCC's own. So the lock is left by the frame's own handler,
// tvc_locked_frame_handler (lock_frame_handler.cpp), which the system calls
// for every unwind through the frame, whoever started it.
//
// A locked forwarder is two pieces:
//   - the export: a stub without a frame (a leaf to the unwinder) that tests
//     the slot and the lock's release slot (lock_slots_bound in api_lock.h)
//     and returns the fixed value of a null slot, or falls through into
//   - its frame: enters the lock, calls the slot with the registers and the
//     stack arguments as the caller left them, keeps the result, leaves the
//     lock and returns the result unchanged.
// The frame's handler data names the one place where the frame holds the
// lock: the return address of the call of the bound function. An unwind
// that finds the frame there leaves the lock; an unwind from the lock's own
// calls does not.
//
// Register arguments are kept in the caller's home area, which belongs to
// the callee, and only those the table gives: integer registers for p, s, z,
// i, h, c and v, vector registers for d and f. A 16-byte record result
// comes back through a hidden pointer in rcx, ahead of the arguments.
// Stack arguments (the fifth on) are copied into the frame's own outgoing
// area, where the bound function finds them as in the caller's.
//
// Direct forwarders are a tail jump through the slot: no frame, every
// register and the stack as the caller left them; a null slot returns 0 in
// rax and xmm0.

// ---- what a table line turns into

#include "forwarding/api_lock_pair.h"
#include "forwarding/table_macros.h"

// The kind of register an argument arrives in: g general, x vector, n none.
#define TVC_KIND_p g
#define TVC_KIND_s g
#define TVC_KIND_z g
#define TVC_KIND_i g
#define TVC_KIND_h g
#define TVC_KIND_c g
#define TVC_KIND_v g
#define TVC_KIND_d x
#define TVC_KIND_f x
#define TVC_KIND_n n
#define TVC_KIND_ n

// The hidden pointer of a record result comes first.
#define TVC_HIDDEN_none
#define TVC_HIDDEN_p
#define TVC_HIDDEN_z
#define TVC_HIDDEN_i
#define TVC_HIDDEN_h
#define TVC_HIDDEN_c
#define TVC_HIDDEN_d
#define TVC_HIDDEN_f
#define TVC_HIDDEN_r16 p,

// How a result is kept across the lock's release: g rax, x rax and xmm0,
// n nothing; and what a null slot returns.
#define TVC_RESULT_none n
#define TVC_RESULT_p g
#define TVC_RESULT_z g
#define TVC_RESULT_i g
#define TVC_RESULT_h g
#define TVC_RESULT_c g
#define TVC_RESULT_d x
#define TVC_RESULT_f x
#define TVC_RESULT_r16 g
// A null slot's fixed value: a zero record for a record result, else that
// of the shape (0 in rax and xmm0, or true).
#define TVC_NULL_RESULT(result, shape) TVC_NULL_##result(shape)
#define TVC_NULL_none(shape) TVC_NULL_SHAPE_##shape
#define TVC_NULL_p(shape) TVC_NULL_SHAPE_##shape
#define TVC_NULL_z(shape) TVC_NULL_SHAPE_##shape
#define TVC_NULL_i(shape) TVC_NULL_SHAPE_##shape
#define TVC_NULL_h(shape) TVC_NULL_SHAPE_##shape
#define TVC_NULL_c(shape) TVC_NULL_SHAPE_##shape
#define TVC_NULL_d(shape) TVC_NULL_SHAPE_##shape
#define TVC_NULL_f(shape) TVC_NULL_SHAPE_##shape
#define TVC_NULL_r16(shape) tvc_null_record
#define TVC_NULL_SHAPE_locked tvc_null_zero
#define TVC_NULL_SHAPE_guarded tvc_null_zero
#define TVC_NULL_SHAPE_guarded_true tvc_null_true

#define TVC_UNPACK(...) __VA_ARGS__
// The kinds of the four register positions.
#define TVC_FOUR_KINDS(...) TVC_FOUR_KINDS_(__VA_ARGS__ __VA_OPT__(, ) n, n, n, n)
#define TVC_FOUR_KINDS_(a, b, c, d, ...) TVC_KIND_##a, TVC_KIND_##b, TVC_KIND_##c, TVC_KIND_##d
// How many arguments go on the stack: the count of the list with one more
// element, so that an empty list counts too.
#define TVC_STACK_SLOTS(...) TVC_STACK_SLOTS_(__VA_ARGS__ __VA_OPT__(, ) -, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 0, 0, 0, 0)
#define TVC_STACK_SLOTS_(a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19, a20, a21, n, ...) n
#define TVC_REGISTERS(result, args) TVC_REGISTERS_(TVC_HIDDEN_##result TVC_UNPACK args)
#define TVC_REGISTERS_(...) TVC_FOUR_KINDS(__VA_ARGS__), TVC_STACK_SLOTS(__VA_ARGS__)

#define TVC_FAMILY(name, routine, file)
#define TVC_SPECIAL(export_name, result, args)
#define TVC_ENTRY(shape, export_name, symbol, result, args) TVC_FORWARDER_##shape(export_name, symbol, result, args)
#define TVC_FORWARDER_UNDER_LOCK(export_name, symbol, result, args, shape)                \
    locked_forwarder export_name, TVC_SLOT(symbol), TVC_NULL_RESULT(result, shape), \
        TVC_RESULT_##result, TVC_REGISTERS(result, args);
#define TVC_FORWARDER_locked(export_name, symbol, result, args) \
    TVC_FORWARDER_UNDER_LOCK(export_name, symbol, result, args, locked)
#define TVC_FORWARDER_guarded(export_name, symbol, result, args) \
    TVC_FORWARDER_UNDER_LOCK(export_name, symbol, result, args, guarded)
#define TVC_FORWARDER_guarded_true(export_name, symbol, result, args) \
    TVC_FORWARDER_UNDER_LOCK(export_name, symbol, result, args, guarded_true)
#define TVC_FORWARDER_direct(export_name, symbol, result, args) direct_forwarder export_name, TVC_SLOT(symbol);
#define TVC_FORWARDER_tested(export_name, symbol, result, args)

// ---- the assembly

#define LOCK_SLOT TVC_SLOT(TVC_API_LOCK_ENTER)
#define UNLOCK_SLOT TVC_SLOT(TVC_API_LOCK_LEAVE)

// The caller's home area, seen from inside a frame of the given size: the
// return address lies between.
.macro keep_argument kind, position, frame
    .ifc \kind, g
        .if \position == 0
        movq %rcx, \frame + 8(%rsp)
        .elseif \position == 1
        movq %rdx, \frame + 16(%rsp)
        .elseif \position == 2
        movq %r8, \frame + 24(%rsp)
        .else
        movq %r9, \frame + 32(%rsp)
        .endif
    .endif
    .ifc \kind, x
        movq %xmm\position, \frame + 8 + 8 * \position(%rsp)
    .endif
.endm

.macro restore_argument kind, position, frame
    .ifc \kind, g
        .if \position == 0
        movq \frame + 8(%rsp), %rcx
        .elseif \position == 1
        movq \frame + 16(%rsp), %rdx
        .elseif \position == 2
        movq \frame + 24(%rsp), %r8
        .else
        movq \frame + 32(%rsp), %r9
        .endif
    .endif
    .ifc \kind, x
        movq \frame + 8 + 8 * \position(%rsp), %xmm\position
    .endif
.endm

// locked_forwarder export, slot, null routine, result kind, four argument
// kinds, stack argument count.
.macro locked_forwarder name, slot, null_result, result, k0, k1, k2, k3, stack_slots
    // The outgoing area: the callee's home, the copied stack arguments, and
    // eight bytes more where needed to keep rsp 16-byte aligned at calls.
    .set frame_size, 40 + 8 * \stack_slots - ((8 * \stack_slots) & 8)
    .text
    .p2align 6
    .globl \name
    .def \name; .scl 2; .type 32; .endef
\name:
    cmpq $0, \slot(%rip)
    je \null_result
    cmpq $0, UNLOCK_SLOT(%rip)
    je \null_result
    .def \name\()_frame; .scl 3; .type 32; .endef
    .seh_proc \name\()_frame
    .seh_handler tvc_locked_frame_handler, @unwind
\name\()_frame:
    subq $frame_size, %rsp
    .seh_stackalloc frame_size
    .seh_endprologue
    keep_argument \k0, 0, frame_size
    keep_argument \k1, 1, frame_size
    keep_argument \k2, 2, frame_size
    keep_argument \k3, 3, frame_size
    .set stack_slot, 0
    .rept \stack_slots
    movq frame_size + 40 + 8 * stack_slot(%rsp), %rax
    movq %rax, 32 + 8 * stack_slot(%rsp)
    .set stack_slot, stack_slot + 1
    .endr
    call *LOCK_SLOT(%rip)
    restore_argument \k0, 0, frame_size
    restore_argument \k1, 1, frame_size
    restore_argument \k2, 2, frame_size
    restore_argument \k3, 3, frame_size
    call *\slot(%rip)
.L\name\()_holding:
    .ifnc \result, n
    movq %rax, frame_size + 8(%rsp)
    .endif
    .ifc \result, x
    movq %xmm0, frame_size + 16(%rsp)
    .endif
    call *UNLOCK_SLOT(%rip)
    .ifnc \result, n
    movq frame_size + 8(%rsp), %rax
    .endif
    .ifc \result, x
    movq frame_size + 16(%rsp), %xmm0
    .endif
    // Not a return address followed at once by the epilogue, which the
    // unwinder would take for the epilogue itself and skip the handler.
    nop
    addq $frame_size, %rsp
    ret
    .seh_handlerdata
    .rva .L\name\()_holding
    .text
    .seh_endproc
.endm

// The lock pair's own forwarders are written in C++ (base_family.cpp): they
// keep the count of acquires made before the lock was bound.
.macro direct_forwarder name, slot
    .ifnc \slot, LOCK_SLOT
    .ifnc \slot, UNLOCK_SLOT
    .text
    .p2align 4
    .globl \name
    .def \name; .scl 2; .type 32; .endef
\name:
    movq \slot(%rip), %rax
    testq %rax, %rax
    jz 1f
    jmp *%rax
1:  xorps %xmm0, %xmm0
    ret
    .endif
    .endif
.endm

// What a forwarder returns when its slot or the lock is not bound: leaves,
// reached by a tail jump.
    .text
    .p2align 4
tvc_null_zero:
    xorl %eax, %eax
    xorps %xmm0, %xmm0
    ret
tvc_null_true:
    movl $1, %eax
    ret
// A zero record in the caller's memory, its address in rax.
tvc_null_record:
    movq %rcx, %rax
    movq $0, (%rcx)
    movq $0, 8(%rcx)
    ret

#include "forwarding/families.inc"
