// SPDX-License-Identifier: BSD-2-Clause
// Instruction-set extensions as a bit mask. The kernel tables are filled from
// RuntimeCpuFlags(); masking lets tests and users force the plain C++ twins.
#pragma once

#include <cstdint>

enum : uint32_t {
    CPU_FEATURE_MMX = 1,
    CPU_FEATURE_SSE = 2,
    CPU_FEATURE_SSE2 = 4,
    CPU_FEATURE_3DNOW = 8,
    // AVX2 together with BMI1 and BMI2, and an operating system that saves
    // the 256-bit registers: the tier the wide kernels are built for.
    CPU_FEATURE_AVX2 = 16,
};

// Features the kernels may use: every x86 build is compiled for SSE2 (the
// driver refuses to load without it) and adds AVX2 where the processor and the
// operating system support it; other processors get the plain twins. The
// result is narrowed by the mask of SetCpuFlagsMask.
uint32_t RuntimeCpuFlags();

// What the processor and the build allow, whatever the mask says.
uint32_t DetectedCpuFlags();

// Keeps only the features in `mask` for instances created afterwards; 0 forces
// the plain twins, ~0u restores everything. Process-wide.
void SetCpuFlagsMask(uint32_t mask);
