// A line copied into a mapped view of the trace file, guarded: under Wine
// another program can cut the file while it is mapped (Windows refuses
// that), and a store into a page beyond the file's new end then faults.
// tvc_copy_into_view(to, from, length) stores the line's last byte first,
// so that a thread ended inside the copy leaves a line cut short or zero
// bytes but never one that runs into the next, then the bytes before it,
// storing only into [to, to + length): the bytes around may be another
// thread's line. It returns 1, or 0 when a store faulted: the frame handler
// tvc_view_copy_fault (trace_output.cpp) then resumes at
// tvc_copy_into_view_faulted. A leaf without a prologue, so that the
// return address is at rsp wherever the fault is.
// rcx: to, rdx: from, r8: length, at least 1.

// The first and the last width bytes of r8 bytes (width to 2 * width),
// perhaps overlapping, then the end.
    .macro both_ends move, width, first, last
    \move (%rdx), \first
    \move -\width(%rdx,%r8), \last
    \move \first, (%rcx)
    \move \last, -\width(%rcx,%r8)
    jmp 9f
    .endm

    .text
    .p2align 4
    .globl tvc_copy_into_view
    .globl tvc_copy_into_view_faulted
    .def tvc_copy_into_view; .scl 2; .type 32; .endef
    .seh_proc tvc_copy_into_view
    .seh_handler tvc_view_copy_fault, @except
tvc_copy_into_view:
    .seh_endprologue
    movzbl -1(%rdx,%r8), %eax
    movb %al, -1(%rcx,%r8)
    decq %r8                    /* the bytes before the last */
    cmpq $16, %r8
    jb 2f
    xorl %eax, %eax
    leaq -16(%r8), %r9
    jmp 1f
0:  movdqu (%rdx,%rax), %xmm0
    movdqu %xmm0, (%rcx,%rax)
    addq $16, %rax
1:  cmpq %r9, %rax
    jb 0b
    movdqu (%rdx,%r9), %xmm0    /* the last 16, perhaps over stored ones */
    movdqu %xmm0, (%rcx,%r9)
    jmp 9f
2:  cmpq $8, %r8
    jb 3f
    both_ends movq, 8, %rax, %r9
3:  cmpq $4, %r8
    jb 4f
    both_ends movl, 4, %eax, %r9d
4:  testq %r8, %r8
    jz 9f
    movzbl (%rdx), %eax
    movb %al, (%rcx)
    movq %r8, %r9
    shrq $1, %r9
    movzbl (%rdx,%r9), %eax
    movb %al, (%rcx,%r9)
    movzbl -1(%rdx,%r8), %eax
    movb %al, -1(%rcx,%r8)
9:  movl $1, %eax
    ret
tvc_copy_into_view_faulted:
    xorl %eax, %eax
    ret
    .seh_endproc
