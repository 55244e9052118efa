// SPDX-License-Identifier: BSD-2-Clause
#include "codec/ConstructionFailures.h"

#include <atomic>

namespace {
std::atomic<int> stepsBeforeFailure{0};
}

void FailConstructionStep(int count)
{
    stepsBeforeFailure.store(count, std::memory_order_relaxed);
}

bool ConstructionShouldFail()
{
    int left = stepsBeforeFailure.load(std::memory_order_relaxed);
    while (left > 0) {
        if (stepsBeforeFailure.compare_exchange_weak(left, left - 1, std::memory_order_relaxed))
            return left == 1;
    }
    return false;
}
