// The control library of the stand-in runtime built by the platform's own
// compiler: the client tells it how the runtime's next call of a symbol
// leaves, and reads back the calls and the stand-in API lock. Freestanding:
// the platform's C and C++ headers are not available to this build.
#pragma once

#ifdef TVC_CONTROL_BUILDING
#define TVC_CONTROL_API extern "C" __declspec(dllexport)
#else
#define TVC_CONTROL_API extern "C" __declspec(dllimport)
#endif

// The platform C runtime's jump buffer on x64, sixteen 16-byte slots. The
// client's _setjmp is called from jump.c, where the compiler hands it the
// frame that longjmp unwinds to; this freestanding build would not.
struct alignas(16) jump_buffer_slot {
    unsigned long long halves[2];
};
typedef jump_buffer_slot jmp_buf[16];
extern "C" [[noreturn]] void longjmp(jmp_buf, int);

// refused: the call returns zero, or false, instead of its usual answer.
enum class way_out { returned, thrown, jumped, raised, refused };
// What a thrown call throws (an int) and the code of a raised one.
constexpr int thrown_value = 0x7E57;
constexpr unsigned long raised_code = 0xE0C0FFE7;

// The next call of symbol leaves by way; jumped needs target, which stays
// the client's until the call has jumped. A null symbol: no call leaves.
TVC_CONTROL_API void control_leave(const char *symbol, way_out way, jmp_buf *target);
// Called first by every stand-in function: counts the call and says how it
// leaves (a call told to leave is told once).
TVC_CONTROL_API way_out control_enter(const char *symbol, jmp_buf **target);
// How often symbol has been called.
TVC_CONTROL_API int control_calls(const char *symbol);

// The stand-in API lock: recursive, and it knows its owner.
TVC_CONTROL_API void control_lock_acquire();
TVC_CONTROL_API void control_lock_release();
// How often the calling thread holds it; 0 when another thread or none does.
TVC_CONTROL_API int control_lock_depth();
