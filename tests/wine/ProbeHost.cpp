// SPDX-License-Identifier: BSD-2-Clause
// The processor probes on Windows: the exception guard turns an invalid
// opcode into a false result, on every thread at once, and this processor
// passes the load gate.
//
//     probehost.exe      exit status 0 when all holds
#include <windows.h>

#include <cstdio>

#include "driver/ExceptionGuard.h"
#include "driver/Processor.h"
#include "driver/ProcessorProbes.h"

namespace {

constexpr int THREADS = 4;
constexpr int ROUNDS = 200;

void ExecuteUd2()
{
    __asm__ volatile("ud2");
}

void ExecuteNothing() {}

DWORD WINAPI GuardRounds(LPVOID failures)
{
    for (int round = 0; round < ROUNDS; ++round) {
        if (RunGuarded(ExecuteUd2) || !RunGuarded(ExecuteNothing))
            InterlockedIncrement(static_cast<LONG*>(failures));
    }
    return 0;
}

}  // namespace

int main()
{
    LONG failures = 0;
    HANDLE threads[THREADS];
    for (HANDLE& thread : threads)
        thread = CreateThread(nullptr, 0, GuardRounds, &failures, 0, nullptr);
    GuardRounds(&failures);
    WaitForMultipleObjects(THREADS, threads, TRUE, INFINITE);
    for (HANDLE thread : threads)
        CloseHandle(thread);
    const bool gate = ProbeCpuid() && ProbeFeature(CPU_FEATURE_SSE2) && HasUsableSse2();
    std::printf("guard failures: %ld, SSE2 gate: %s\n", long(failures), gate ? "passed" : "refused");
    return failures == 0 && gate ? 0 : 1;
}
