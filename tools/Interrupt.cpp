// SPDX-License-Identifier: BSD-2-Clause
#include "Interrupt.h"

#include <atomic>
#include <csignal>

namespace {

std::atomic<bool> interruptRequested{false};

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
    // One-shot: the second Ctrl-C gets the default action and ends the process.
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A reader that goes away (`qf25 decode x.avi - | head`) must show up as a
    // write error we report, not as a silent death.
    std::signal(SIGPIPE, SIG_IGN);
}

bool Interrupted()
{
    return interruptRequested.load(std::memory_order_relaxed);
}
