// SPDX-License-Identifier: BSD-2-Clause
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>

#include "platform/Threads.h"

struct PlatformEvent {
    std::mutex mutex;
    std::condition_variable changed;
    bool signalled = false;
};

struct PlatformThread {
    pthread_t handle;
    ThreadMain main;
    void* argument;
};

PlatformEvent* CreateAutoResetEvent()
{
    return new (std::nothrow) PlatformEvent;
}

void SignalEvent(PlatformEvent* event)
{
    {
        std::lock_guard<std::mutex> lock(event->mutex);
        event->signalled = true;
    }
    event->changed.notify_one();
}

WaitResult WaitEvent(PlatformEvent* event, uint32_t milliseconds)
{
    std::unique_lock<std::mutex> lock(event->mutex);
    const auto isSignalled = [event] { return event->signalled; };
    if (milliseconds == WAIT_FOREVER)
        event->changed.wait(lock, isSignalled);
    else if (!event->changed.wait_for(lock, std::chrono::milliseconds(milliseconds), isSignalled))
        return WAIT_TIMED_OUT;
    event->signalled = false;  // auto-reset: this wait consumes the signal
    return WAIT_SIGNALLED;
}

void CloseEvent(PlatformEvent* event)
{
    delete event;
}

namespace {
void* RunThread(void* argument)
{
    PlatformThread* thread = static_cast<PlatformThread*>(argument);
    thread->main(thread->argument);
    return nullptr;
}
}  // namespace

PlatformThread* StartThread(ThreadMain main, void* argument, size_t stackSize)
{
    PlatformThread* thread = new (std::nothrow) PlatformThread{{}, main, argument};
    if (!thread)
        return nullptr;
    pthread_attr_t attributes;
    bool started = false;
    if (pthread_attr_init(&attributes) == 0) {
        if (stackSize < size_t(PTHREAD_STACK_MIN))
            stackSize = size_t(PTHREAD_STACK_MIN);
        pthread_attr_setstacksize(&attributes, stackSize);
        started = pthread_create(&thread->handle, &attributes, RunThread, thread) == 0;
        pthread_attr_destroy(&attributes);
    }
    if (!started) {
        delete thread;
        return nullptr;
    }
    return thread;
}

void JoinThread(PlatformThread* thread)
{
    pthread_join(thread->handle, nullptr);
    delete thread;
}

int ProcessorCount()
{
    cpu_set_t allowed;
    if (sched_getaffinity(0, sizeof allowed, &allowed) == 0)
        return std::max(CPU_COUNT(&allowed), 1);
    return std::max(int(sysconf(_SC_NPROCESSORS_ONLN)), 1);
}
