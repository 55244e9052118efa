// SPDX-License-Identifier: BSD-2-Clause
// Threads and auto-reset events: the Win32 services on Windows, a small
// implementation over POSIX threads, mutexes and condition variables elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>

struct PlatformEvent;
struct PlatformThread;

constexpr uint32_t WAIT_FOREVER = 0xFFFFFFFFu;

enum WaitResult { WAIT_SIGNALLED, WAIT_TIMED_OUT, WAIT_ERROR };

// Auto-reset, initially not signalled. Null when it cannot be created.
PlatformEvent* CreateAutoResetEvent();
void SignalEvent(PlatformEvent* event);
// Waits up to `milliseconds` (or WAIT_FOREVER); a signal is consumed by the
// one wait it releases.
WaitResult WaitEvent(PlatformEvent* event, uint32_t milliseconds);
void CloseEvent(PlatformEvent* event);

using ThreadMain = uint32_t (*)(void* argument);

// Starts a thread with the given stack reservation. Null when it cannot be created.
PlatformThread* StartThread(ThreadMain main, void* argument, size_t stackSize);
// Waits until the thread has ended, then releases it.
void JoinThread(PlatformThread* thread);

// Processors this process may run on; at least 1.
int ProcessorCount();
