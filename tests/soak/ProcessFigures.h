// SPDX-License-Identifier: BSD-2-Clause
// What a long-running host watches for leaks: resident memory, open
// descriptors (handles on Windows) and threads of this process.
#pragma once

#include <cstdint>

struct ProcessFigures {
    uint64_t residentKib;
    uint64_t descriptors;
    uint64_t threads;
};

ProcessFigures ReadProcessFigures();
