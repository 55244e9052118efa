// SPDX-License-Identifier: BSD-2-Clause
#include "driver/ExceptionGuard.h"

#include <csetjmp>
#include <csignal>
#include <mutex>

namespace {

// The handler is installed only while a guarded routine runs; the mutex keeps
// two threads from saving and restoring each other's handler.
std::mutex installMutex;
struct sigaction previousAction;
thread_local sigjmp_buf* activeGuard = nullptr;

void PassOn(int signal, siginfo_t* info, void* context)
{
    if (previousAction.sa_flags & SA_SIGINFO) {
        previousAction.sa_sigaction(signal, info, context);
    } else if (previousAction.sa_handler != SIG_IGN && previousAction.sa_handler != SIG_DFL) {
        previousAction.sa_handler(signal);
    } else {
        // Returning re-executes the faulting instruction under the default
        // action, which ends the process as it would have without us.
        std::signal(signal, SIG_DFL);
    }
}

void OnIllegalInstruction(int signal, siginfo_t* info, void* context)
{
    if (activeGuard)
        siglongjmp(*activeGuard, 1);
    PassOn(signal, info, context);
}

}  // namespace

bool RunGuarded(void (*routine)())
{
    std::lock_guard<std::mutex> lock(installMutex);
    struct sigaction action = {};
    action.sa_sigaction = OnIllegalInstruction;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    if (sigaction(SIGILL, &action, &previousAction) != 0)
        return false;
    sigjmp_buf resume;
    volatile bool completed = false;
    if (sigsetjmp(resume, 1) == 0) {
        activeGuard = &resume;
        routine();
        completed = true;
    }
    activeGuard = nullptr;
    sigaction(SIGILL, &previousAction, nullptr);
    return completed;
}
