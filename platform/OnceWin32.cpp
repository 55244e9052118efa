// SPDX-License-Identifier: BSD-2-Clause
// InitOnceExecuteOnce needs Vista or later.
#if !defined(_WIN32_WINNT) || _WIN32_WINNT < 0x0600
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#endif
#include <windows.h>

#include "platform/Once.h"

// A zeroed OnceFlag must read as an INIT_ONCE holding INIT_ONCE_STATIC_INIT.
static_assert(sizeof(INIT_ONCE) <= sizeof(OnceFlag));
static_assert(alignof(INIT_ONCE) <= alignof(OnceFlag));

namespace {
BOOL CALLBACK CallRoutine(PINIT_ONCE, PVOID parameter, PVOID*)
{
    (*static_cast<void (**)()>(parameter))();
    return TRUE;
}
}  // namespace

void RunOnce(OnceFlag* flag, void (*routine)())
{
    InitOnceExecuteOnce(reinterpret_cast<PINIT_ONCE>(flag->opaque), CallRoutine, &routine, nullptr);
}
