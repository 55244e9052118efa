// SPDX-License-Identifier: BSD-2-Clause
#include "driver/ExceptionGuard.h"

#include <windows.h>

namespace {

// The resume point of the guarded call on this thread, as __builtin_setjmp
// records it: frame pointer, resume address, stack pointer.
constexpr int RESUME_WORDS = 5;
thread_local void** activeResume = nullptr;

// Resumes the guarded call the way __builtin_longjmp would, but through the
// system's own continuation, so that nothing of the exception dispatch is
// left behind on the stack.
LONG CALLBACK OnException(EXCEPTION_POINTERS* pointers)
{
    void** resume = activeResume;
    if (!resume)
        return EXCEPTION_CONTINUE_SEARCH;
    activeResume = nullptr;
    CONTEXT* context = pointers->ContextRecord;
#if defined(_WIN64)
    context->Rbp = reinterpret_cast<DWORD64>(resume[0]);
    context->Rip = reinterpret_cast<DWORD64>(resume[1]);
    context->Rsp = reinterpret_cast<DWORD64>(resume[2]);
#else
    context->Ebp = reinterpret_cast<DWORD_PTR>(resume[0]);
    context->Eip = reinterpret_cast<DWORD_PTR>(resume[1]);
    context->Esp = reinterpret_cast<DWORD_PTR>(resume[2]);
#endif
    return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

bool RunGuarded(void (*routine)())
{
    void* handler = AddVectoredExceptionHandler(1, OnException);
    if (!handler)
        return false;
    void* resume[RESUME_WORDS];
    volatile bool completed = false;
    if (__builtin_setjmp(resume) == 0) {
        activeResume = resume;
        routine();
        completed = true;
    }
    activeResume = nullptr;
    RemoveVectoredExceptionHandler(handler);
    return completed;
}
