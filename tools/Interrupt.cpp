// SPDX-License-Identifier: BSD-2-Clause
#include "Interrupt.h"

#include <atomic>
#include <csignal>

namespace {

std::atomic<bool> interruptRequested{false};
std::atomic<bool> outputClosed{false};

extern "C" void OnInterrupt(int)
{
    interruptRequested.store(true);
}

}  // namespace

void InstallInterruptHandler()
{
    struct sigaction action = {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    // One-shot: the second signal gets the default action and ends the process.
    action.sa_flags = SA_RESETHAND;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
    // A reader that goes away (`qf25 decode x.avi - | head`) must show up as a
    // write error we act on, not as a silent death.
    std::signal(SIGPIPE, SIG_IGN);
}

bool Interrupted()
{
    return interruptRequested.load(std::memory_order_relaxed) || outputClosed.load(std::memory_order_relaxed);
}

void StopForClosedOutput()
{
    outputClosed.store(true);
}

bool OutputClosed()
{
    return outputClosed.load(std::memory_order_relaxed);
}
