// SPDX-License-Identifier: BSD-2-Clause
// Iteration counts of the randomised kernel checks. QF25_CHECK_DIVISOR
// divides them where a run must stay short, as for the 32-bit build under
// emulation, which runs some twenty times slower.
#pragma once

#include <algorithm>
#include <cstdlib>

inline int CheckRounds(int rounds)
{
    const char* given = std::getenv("QF25_CHECK_DIVISOR");
    const long divisor = given ? std::strtol(given, nullptr, 10) : 1;
    return int(std::max(1L, rounds / std::max(1L, divisor)));
}
