// SPDX-License-Identifier: BSD-2-Clause
// Quantiser tables by quality, and the float quantiser and dequantiser with
// their rounding and saturation, for every kernel set.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include "support/KernelVariants.h"
#include "support/TransformTestInstance.h"

namespace {

TEST(QuantTables, BaseTablesAreTheT81ExamplesInNaturalOrder)
{
    const int16_t lumaStart[8] = {16, 11, 10, 16, 24, 40, 51, 61};
    const int16_t chromaStart[5] = {17, 18, 24, 47, 99};
    EXPECT_TRUE(std::equal(lumaStart, lumaStart + 8, LUMA_BASE_TABLE));
    EXPECT_TRUE(std::equal(chromaStart, chromaStart + 5, CHROMA_BASE_TABLE));
    EXPECT_EQ(103, LUMA_BASE_TABLE[62]);
    EXPECT_EQ(99, LUMA_BASE_TABLE[63]);
    EXPECT_EQ(121, LUMA_BASE_TABLE[8 * 6 + 5]);
    EXPECT_TRUE(std::all_of(CHROMA_BASE_TABLE + 32, CHROMA_BASE_TABLE + 64, [](int16_t v) { return v == 99; }));
}

TEST(QuantTables, StepsScaleTheBaseTablesByQuality)
{
    auto t = MakeTransformTestInstance(95, 0);
    const CodecInstance* q95 = &t->instance;
    EXPECT_EQ(95, q95->quality);
    EXPECT_EQ(3.2f, q95->lumaScales[0]);
    EXPECT_EQ(0.3125f, q95->lumaReciprocals[0]);
    EXPECT_EQ(3.4f, q95->chromaScales[0]);
    EXPECT_EQ(0.5f, q95->lumaReciprocals[2]);

    t = MakeTransformTestInstance(75, 0);
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(float(LUMA_BASE_TABLE[i]), t->instance.lumaScales[i]);
        EXPECT_EQ(float(CHROMA_BASE_TABLE[i]), t->instance.chromaScales[i]);
    }

    t = MakeTransformTestInstance(50, 0);
    EXPECT_EQ(32.0f, t->instance.lumaScales[0]);
    EXPECT_EQ(242.0f, t->instance.lumaScales[8 * 6 + 5]);
    EXPECT_EQ(198.0f, *std::max_element(t->instance.chromaScales, t->instance.chromaScales + 64));

    t = MakeTransformTestInstance(99, 0);
    EXPECT_EQ(0.4f, t->instance.lumaScales[2]);
    EXPECT_EQ(2.5f, t->instance.lumaReciprocals[2]);

    // Every quality a frame byte can carry: the step is the float nearest to
    // base * (100 - q) / 25 and the reciprocal the float nearest to 1 / step
    // (a double result rounded once more to float is correctly rounded here).
    for (int q = 0; q <= 255; ++q) {
        t = MakeTransformTestInstance(q, 0);
        for (int i = 0; i < 64; ++i) {
            const float step = float(LUMA_BASE_TABLE[i] * (100.0 - q) / 25.0);
            ASSERT_EQ(step, t->instance.lumaScales[i]) << "quality " << q << ", entry " << i;
            ASSERT_EQ(float(1.0 / step), t->instance.lumaReciprocals[i]) << "quality " << q << ", entry " << i;
            ASSERT_EQ(float(CHROMA_BASE_TABLE[i] * (100.0 - q) / 25.0), t->instance.chromaScales[i]);
        }
    }
}

TEST(QuantTables, RebuildOnlyWhenQualityChanges)
{
    auto t = MakeTransformTestInstance(95, 0);
    CodecInstance* instance = &t->instance;
    instance->lumaScales[5] = -1.0f;  // a marker a rebuild would overwrite
    SetQuality(instance, 95);
    EXPECT_EQ(-1.0f, instance->lumaScales[5]);
    SetQuality(instance, 60);
    EXPECT_EQ(60, instance->quality);
    EXPECT_EQ(40.0f * 0.8f * 2.0f, instance->lumaScales[5]);
    EXPECT_EQ(1.0f / instance->chromaScales[0], instance->chromaReciprocals[0]);
}

class QuantizeTest : public testing::TestWithParam<uint32_t> {};

Block Flat(int16_t value)
{
    Block b;
    std::fill(b.v, b.v + 64, value);
    return b;
}

TEST_P(QuantizeTest, QuantiserRoundsTiesToEven)
{
    auto t = MakeTransformTestInstance(95, GetParam());
    const CodecInstance* instance = &t->instance;
    ASSERT_EQ(0.5f, instance->lumaReciprocals[2]);
    const int16_t in[] = {5, 7, -5, -7, 1, 3, 6};
    const int16_t out[] = {2, 4, -2, -4, 0, 2, 3};
    for (size_t n = 0; n < std::size(in); ++n) {
        Block b = Flat(0);
        b.v[2] = in[n];
        instance->transformKernels.quantize(&b, instance->lumaReciprocals);
        EXPECT_EQ(out[n], b.v[2]) << in[n] << " * 0.5";
    }
    // The DC product 1024 * 0.3125 = 320 exactly; 280 * 0.3125 = 87.5 goes to 88.
    Block dc = Flat(0);
    dc.v[0] = 280;
    instance->transformKernels.quantize(&dc, instance->lumaReciprocals);
    EXPECT_EQ(88, dc.v[0]);
}

TEST_P(QuantizeTest, DequantiserSaturates)
{
    auto t = MakeTransformTestInstance(50, GetParam());
    const CodecInstance* instance = &t->instance;
    const int position = 8 * 6 + 5;  // step 242
    Block b = Flat(0);
    b.v[position] = 2559;
    b.v[position + 1] = -2559;
    b.v[0] = 1;
    instance->transformKernels.dequantize(&b, instance->lumaScales);
    EXPECT_EQ(32767, b.v[position]);
    EXPECT_EQ(-32768, b.v[position + 1]);
    EXPECT_EQ(32, b.v[0]);
}

// Quality 100 has steps of 0 and infinite reciprocals; the results follow
// cvtps2dq: NaN (0 * inf) and infinities become INT32_MIN, saturated to -32768.
TEST_P(QuantizeTest, QualityHundredFollowsTheConversionRule)
{
    auto t = MakeTransformTestInstance(100, GetParam());
    const CodecInstance* instance = &t->instance;
    Block b = Flat(0);
    b.v[1] = 5;
    b.v[2] = -5;
    b.v[3] = 32767;
    Block d = b;
    instance->transformKernels.quantize(&b, instance->lumaReciprocals);
    for (int16_t v : b.v)
        EXPECT_EQ(-32768, v);
    instance->transformKernels.dequantize(&d, instance->chromaScales);
    for (int16_t v : d.v)
        EXPECT_EQ(0, v);

    // The pair kernels, which keep their rows in 32-bit lanes up to the
    // quantiser, convert alike: any samples, and any coefficients (which
    // dequantise to zeros, inverse-transformed to zeros).
    Block pair[2] = {Flat(128), Flat(3)};
    pair[1].v[9] = 200;
    instance->transformKernels.forwardPair(pair, instance->lumaReciprocals);
    for (const Block& q : pair)
        for (int16_t v : q.v)
            EXPECT_EQ(-32768, v);
    instance->transformKernels.inversePair(pair, instance->chromaScales);
    for (const Block& r : pair)
        for (int16_t v : r.v)
            EXPECT_EQ(0, v);
}

INSTANTIATE_TEST_SUITE_P(Kernels, QuantizeTest, KERNEL_VARIANTS, KernelVariantName);

}  // namespace
