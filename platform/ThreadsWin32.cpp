// SPDX-License-Identifier: BSD-2-Clause
#include <windows.h>

#include "platform/Threads.h"

// The handles themselves stand for the records; nothing else is kept.

PlatformEvent* CreateAutoResetEvent()
{
    return reinterpret_cast<PlatformEvent*>(CreateEventA(nullptr, FALSE, FALSE, nullptr));
}

void SignalEvent(PlatformEvent* event)
{
    SetEvent(reinterpret_cast<HANDLE>(event));
}

WaitResult WaitEvent(PlatformEvent* event, uint32_t milliseconds)
{
    switch (WaitForSingleObject(reinterpret_cast<HANDLE>(event), milliseconds == WAIT_FOREVER ? INFINITE : milliseconds)) {
    case WAIT_OBJECT_0:
        return WAIT_SIGNALLED;
    case WAIT_TIMEOUT:
        return WAIT_TIMED_OUT;
    default:
        return WAIT_ERROR;
    }
}

void CloseEvent(PlatformEvent* event)
{
    CloseHandle(reinterpret_cast<HANDLE>(event));
}

namespace {
struct ThreadStart {
    ThreadMain main;
    void* argument;
};

// 32-bit Windows callers enter threads with 4-byte stack alignment; SSE2 code
// needs 16.
__attribute__((force_align_arg_pointer)) DWORD WINAPI RunThread(LPVOID argument)
{
    ThreadStart start = *static_cast<ThreadStart*>(argument);
    HeapFree(GetProcessHeap(), 0, argument);
    return start.main(start.argument);
}
}  // namespace

PlatformThread* StartThread(ThreadMain main, void* argument, size_t stackSize)
{
    ThreadStart* start = static_cast<ThreadStart*>(HeapAlloc(GetProcessHeap(), 0, sizeof(ThreadStart)));
    if (!start)
        return nullptr;
    start->main = main;
    start->argument = argument;
    HANDLE handle = CreateThread(nullptr, stackSize, RunThread, start, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (!handle) {
        HeapFree(GetProcessHeap(), 0, start);
        return nullptr;
    }
    return reinterpret_cast<PlatformThread*>(handle);
}

void JoinThread(PlatformThread* thread)
{
    WaitForSingleObject(reinterpret_cast<HANDLE>(thread), INFINITE);
    CloseHandle(reinterpret_cast<HANDLE>(thread));
}

int ProcessorCount()
{
    DWORD_PTR allowed = 0, all = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &allowed, &all) && allowed != 0) {
        int count = 0;
        for (; allowed; allowed &= allowed - 1)
            ++count;
        return count;
    }
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    return system.dwNumberOfProcessors > 0 ? int(system.dwNumberOfProcessors) : 1;
}
