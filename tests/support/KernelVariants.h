// SPDX-License-Identifier: BSD-2-Clause
// Runs a parametrised test with every kernel set this processor can run: the
// plain twins, the SSE2 kernels and, where available, the AVX2 ones:
//   INSTANTIATE_TEST_SUITE_P(Kernels, Suite, KERNEL_VARIANTS, KernelVariantName);
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/CpuFlags.h"

// CPU flag sets, each the whole of one tier (and what it builds on).
inline std::vector<uint32_t> KernelVariantFlags()
{
    std::vector<uint32_t> variants = {0u};
    const uint32_t detected = DetectedCpuFlags();
    if (detected & CPU_FEATURE_SSE2)
        variants.push_back(detected & ~uint32_t(CPU_FEATURE_AVX2));
    if (detected & CPU_FEATURE_AVX2)
        variants.push_back(detected);
    return variants;
}

#define KERNEL_VARIANTS testing::ValuesIn(KernelVariantFlags())

inline std::string KernelVariantName(const testing::TestParamInfo<uint32_t>& info)
{
    if (info.param & CPU_FEATURE_AVX2)
        return "Avx2";
    return (info.param & CPU_FEATURE_SSE2) ? "Sse2" : "Plain";
}
