/* The frame of the direct forwarders' tracing entry (direct_tracing_entry.S)
   in bytes from its stack pointer, and the one field of a tvc_direct_entry
   it reads. Plain macros, so that the assembly lays the frame out by them
   and direct_tracing.cpp checks its structures against the same numbers. */
#pragma once

#define TVC_DIRECT_ENTRY_TARGET 8   /* tvc_direct_entry.target: the bound address */

#define FRAME_STACK_SLOTS 16
#define FRAME_HOME 0                /* the bound function's home area */
#define FRAME_ARGUMENTS 32          /* the copied stack argument slots */
#define FRAME_RESULTS FRAME_ARGUMENTS /* after the call: rax, rdx, xmm0-xmm3 */
#define FRAME_CALL (FRAME_ARGUMENTS + 8 * FRAME_STACK_SLOTS) /* struct tvc_direct_call */
#define FRAME_CALL_ENTRY (FRAME_CALL + 0)
#define FRAME_CALL_REGISTERS (FRAME_CALL + 8)
#define FRAME_XMM (FRAME_CALL + 64) /* xmm0-xmm3, 16-byte aligned */
#define FRAME_SIZE (FRAME_XMM + 64)
/* One push (rbx) and the return address above the frame. */
#define FRAME_CALLER_ARGUMENTS (FRAME_SIZE + 8 + 8 + 32)
