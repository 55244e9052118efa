// SPDX-License-Identifier: BSD-2-Clause
#include <pthread.h>

#include "platform/Once.h"

// A zeroed OnceFlag must read as a pthread_once_t holding PTHREAD_ONCE_INIT.
static_assert(sizeof(pthread_once_t) <= sizeof(OnceFlag));
static_assert(alignof(pthread_once_t) <= alignof(OnceFlag));
static_assert(PTHREAD_ONCE_INIT == 0);

void RunOnce(OnceFlag* flag, void (*routine)())
{
    pthread_once(reinterpret_cast<pthread_once_t*>(flag->opaque), routine);
}
