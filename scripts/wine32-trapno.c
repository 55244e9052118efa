// SPDX-License-Identifier: BSD-2-Clause
// Preloaded into the 32-bit Wine processes that qemu-i386 runs. qemu leaves
// the trap number of a signal's context at -1, and Wine on i386 classifies
// hardware faults by that number alone: every access violation would reach
// Windows code as an illegal instruction, a division by zero as a float
// fault. The fault handlers Wine installs are wrapped so that the trap number
// the processor would have given is filled in from the signal first. The
// 64-bit build of this file is empty: it only keeps the loader quiet in the
// 64-bit programs that inherit the same LD_PRELOAD.
#if defined(__i386__)
#define _GNU_SOURCE
#include <dlfcn.h>
#include <signal.h>
#include <stddef.h>
#include <ucontext.h>

enum { TRAP_DIVIDE = 0, TRAP_BREAKPOINT = 3, TRAP_OVERFLOW = 4, TRAP_INVALID_OPCODE = 6, TRAP_PROTECTION = 13,
       TRAP_PAGE_FAULT = 14, TRAP_FLOAT = 16, TRAP_ALIGNMENT = 17, TRAP_SINGLE_STEP = 1 };

typedef void (*Handler)(int, siginfo_t*, void*);
typedef int (*SigactionFunction)(int, const struct sigaction*, struct sigaction*);

static Handler wrapped[_NSIG];

static int TrapNumber(int sig, const siginfo_t* info)
{
    switch (sig) {
    case SIGSEGV:
        // A fault with an address is a page fault; the kernel reports general
        // protection faults (privileged instructions, bad selectors) without.
        return info->si_code == SEGV_MAPERR || info->si_code == SEGV_ACCERR ? TRAP_PAGE_FAULT : TRAP_PROTECTION;
    case SIGFPE:
        return info->si_code == FPE_INTDIV ? TRAP_DIVIDE : info->si_code == FPE_INTOVF ? TRAP_OVERFLOW : TRAP_FLOAT;
    case SIGILL:
        return TRAP_INVALID_OPCODE;
    case SIGBUS:
        return TRAP_ALIGNMENT;
    default:
        return info->si_code == TRAP_BRKPT || info->si_code == SI_KERNEL ? TRAP_BREAKPOINT : TRAP_SINGLE_STEP;
    }
}

static void FixTrapNumber(int sig, siginfo_t* info, void* context)
{
    greg_t* trap = &((ucontext_t*)context)->uc_mcontext.gregs[REG_TRAPNO];
    if (*trap == -1)
        *trap = TrapNumber(sig, info);
    wrapped[sig](sig, info, context);
}

static int IsFault(int sig)
{
    return sig == SIGSEGV || sig == SIGFPE || sig == SIGILL || sig == SIGBUS || sig == SIGTRAP;
}

int sigaction(int sig, const struct sigaction* act, struct sigaction* old)
{
    static SigactionFunction next;
    if (!next)
        next = (SigactionFunction)dlsym(RTLD_NEXT, "sigaction");
    if (!IsFault(sig))
        return next(sig, act, old);

    struct sigaction replacement;
    const Handler before = wrapped[sig];
    if (act && (act->sa_flags & SA_SIGINFO)) {
        replacement = *act;
        replacement.sa_sigaction = FixTrapNumber;
        wrapped[sig] = act->sa_sigaction;
        act = &replacement;
    }
    const int result = next(sig, act, old);
    if (result != 0)
        wrapped[sig] = before;
    else if (old && old->sa_sigaction == FixTrapNumber)
        old->sa_sigaction = before;
    return result;
}
#endif
