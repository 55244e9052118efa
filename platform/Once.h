// SPDX-License-Identifier: BSD-2-Clause
// One-time initialisation of process-wide data: the first caller runs the
// routine, every concurrent caller waits until it has finished, and all later
// callers return at once having seen everything it wrote.
#pragma once

// Opaque storage for the platform's own once-record (pthread_once_t or
// INIT_ONCE). Give it static storage duration and zero initialisation:
//     OnceFlag tablesOnce = {};
struct OnceFlag {
    alignas(8) unsigned char opaque[8];
};

void RunOnce(OnceFlag* flag, void (*routine)());
