// SPDX-License-Identifier: BSD-2-Clause
// The processor itself: CPUID and one instruction of each extension, each
// run under an exception guard so that a processor or operating system
// without it yields false instead of a fault.
#pragma once

#include <cstdint>

#include "driver/Processor.h"

bool ProbeCpuid();
bool ProbeFeature(uint32_t feature);

// Executes CPUID; only after ProbeCpuid has returned true.
CpuidResult ExecuteCpuid(uint32_t leaf);
