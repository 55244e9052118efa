// Runs a parametrised test once with the plain twins and once with the SSE2
// kernels (the plain ones again where SSE2 is not compiled in):
//   INSTANTIATE_TEST_SUITE_P(Kernels, Suite, KERNEL_VARIANTS, KernelVariantName);
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/CpuFlags.h"

#define KERNEL_VARIANTS testing::Values(0u, uint32_t(CPU_FEATURE_SSE2))

inline std::string KernelVariantName(const testing::TestParamInfo<uint32_t>& info)
{
    return (info.param & CPU_FEATURE_SSE2) ? "Sse2" : "Plain";
}
