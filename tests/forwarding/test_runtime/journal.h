// The control library of the test runtime: every stand-in library writes
// its calls here, and tests read them back, set results and inject failures.
// It also holds the stand-in API lock, a recursive mutex that knows its owner.
#pragma once

#include <cstddef>

#ifdef TVC_TEST_JOURNAL_BUILDING
#define TVC_JOURNAL_API extern "C" __declspec(dllexport)
#else
#define TVC_JOURNAL_API extern "C" __declspec(dllimport)
#endif

// Calls in the order they were made, one line each: "symbol(arguments) lock=N".
TVC_JOURNAL_API void journal_record(const char *line);
TVC_JOURNAL_API std::size_t journal_size();
TVC_JOURNAL_API const char *journal_line(std::size_t index);  // valid until journal_clear
TVC_JOURNAL_API void journal_clear();

// What the stand-in of symbol returns: up to 16 bytes, copied into its
// result; unset results are zero, or true for booleans.
TVC_JOURNAL_API void journal_set_result(const char *symbol, const void *bytes, std::size_t size);
TVC_JOURNAL_API bool journal_result(const char *symbol, void *bytes16);
// The stand-in of symbol throws std::runtime_error(symbol) after recording;
// a null symbol stops all throwing.
TVC_JOURNAL_API void journal_set_throwing(const char *symbol);
TVC_JOURNAL_API bool journal_throwing(const char *symbol);

// The stand-in of symbol calls callback after recording, before it returns:
// a runtime that calls back into this library. Null removes it.
TVC_JOURNAL_API void journal_set_callback(const char *symbol, void (*callback)());
TVC_JOURNAL_API void (*journal_callback(const char *symbol))();

// Called from this library's DLL_PROCESS_DETACH at the process's exit, as a
// library of the application that calls the runtime from there would.
TVC_JOURNAL_API void journal_set_exit_callback(void (*callback)());

// The stand-in API lock.
TVC_JOURNAL_API void journal_lock_acquire();
TVC_JOURNAL_API void journal_lock_release();
// How often the calling thread holds the lock; 0 when another thread or none does.
TVC_JOURNAL_API int journal_lock_depth();

// Brackets every stand-in call; entering returns how many calls were inside
// the runtime already, so that overlapping calls are seen without timing.
TVC_JOURNAL_API int journal_enter_runtime();
TVC_JOURNAL_API void journal_leave_runtime();
