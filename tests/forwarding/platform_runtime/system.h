// The few system functions that the libraries and the client built by the
// platform's compiler call, declared here: the MinGW-w64 headers do not
// compile for that compiler's target, and the build has no others.
#pragma once

#include <stddef.h>

extern "C" {
struct srw_lock {
    void *state;
};
__declspec(dllimport) void __stdcall AcquireSRWLockExclusive(srw_lock *lock);
__declspec(dllimport) void __stdcall ReleaseSRWLockExclusive(srw_lock *lock);
__declspec(dllimport) unsigned long __stdcall GetCurrentThreadId();
__declspec(dllimport) int __stdcall lstrcmpA(const char *left, const char *right);
__declspec(dllimport) int __stdcall lstrlenA(const char *text);
__declspec(dllimport) void __stdcall RaiseException(unsigned long code, unsigned long flags, unsigned long count,
                                                    const unsigned long long *arguments);
__declspec(dllimport) void *__stdcall GetStdHandle(unsigned long which);
__declspec(dllimport) int __stdcall WriteFile(void *file, const void *data, unsigned long size,
                                              unsigned long *written, void *overlapped);
__declspec(dllimport) void *__stdcall CreateThread(void *attributes, size_t stack_size,
                                                   unsigned long(__stdcall *start)(void *), void *parameter,
                                                   unsigned long flags, unsigned long *thread_id);
__declspec(dllimport) unsigned long __stdcall WaitForSingleObject(void *handle, unsigned long milliseconds);
__declspec(dllimport) int __stdcall CloseHandle(void *handle);
__declspec(dllimport) void *__stdcall GetCurrentProcess();
__declspec(dllimport) int __stdcall TerminateProcess(void *process, unsigned int code);
__declspec(dllimport) void __stdcall ExitProcess(unsigned int code);
__declspec(dllimport) char *__stdcall GetCommandLineA();
}
