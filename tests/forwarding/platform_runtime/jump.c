/* The longjmp way out, in C and outside freestanding mode: only where the
   compiler knows _setjmp as the C runtime's does it hand it the frame that
   longjmp then unwinds to (a freestanding build calls it as any function,
   with whatever the second argument register holds, and the jump unwinds to
   no frame in particular). */
typedef struct {
    __attribute__((aligned(16))) unsigned long long halves[2];
} jump_buffer_slot;
typedef jump_buffer_slot jmp_buf[16];
int _setjmp(jmp_buf);

/* control.h's control_leave, way_out::jumped. */
__declspec(dllimport) void control_leave(const char *symbol, int way, jmp_buf *target);
enum { way_jumped = 2 };

static jmp_buf jump_target;

/* Calls call after telling the runtime's next call of symbol to jump back
   here; true when it did. */
_Bool leave_by_jump(const char *symbol, _Bool (*call)(void)) {
    control_leave(symbol, way_jumped, &jump_target);
    if (_setjmp(jump_target) != 0) return 1;
    call();
    return 0;
}
