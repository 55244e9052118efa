// SPDX-License-Identifier: BSD-2-Clause
// Whole macroblocks through transform, quantiser and entropy code and back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "codec/Macroblock.h"
#include "support/KernelVariants.h"
#include "support/TexturedBlocks.h"
#include "support/TransformTestInstance.h"

namespace {

class MacroblockTest : public testing::TestWithParam<uint32_t> {
protected:
    std::unique_ptr<TransformTestInstance> Instance(int32_t quality) const
    {
        auto t = MakeTransformTestInstance(quality, GetParam());
        AddEntropyCode(t.get(), GetParam());
        return t;
    }
};

// One encoded macroblock: its bits and the quantised coefficients it leaves.
struct Coded {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(4 * MAX_BLOCK_BYTES + 64);
    uint32_t bits = 0;
    MacroblockBuffer quantised;
};

Coded Encode(const CodecInstance* instance, const MacroblockBuffer& samples)
{
    Coded c;
    BitWriter writer;
    Reset(&writer, c.bytes.data(), uint32_t(c.bytes.size()));
    c.quantised = samples;
    EncodeMacroblock(instance, &c.quantised, &writer);
    EXPECT_FALSE(writer.overflow);
    c.bits = writer.position;
    return c;
}

MacroblockBuffer Decode(const CodecInstance* instance, const Coded& c)
{
    BitReader reader;
    Reset(&reader, c.bytes.data(), uint32_t(c.bytes.size()));
    MacroblockBuffer samples;
    DecodeMacroblock(instance, &samples, &reader);
    EXPECT_EQ(c.bits, reader.position);
    return samples;
}

MacroblockBuffer FlatMacroblock(int16_t value)
{
    MacroblockBuffer m;
    for (Block& b : m.block)
        std::fill(b.v, b.v + 64, value);
    return m;
}

const float* Scales(const CodecInstance* instance, int k)
{
    return k < BLOCK_CB ? instance->lumaScales : instance->chromaScales;
}

// Every block with only a DC codes as 17 bits: 12 for the DC and the end code.
TEST_P(MacroblockTest, FlatMacroblocksComeBackExactly)
{
    const auto t = Instance(95);
    const CodecInstance* instance = &t->instance;
    for (int16_t value : {128, 0, 16, 235, 255}) {
        SCOPED_TRACE(value);
        const MacroblockBuffer flat = FlatMacroblock(value);
        const Coded c = Encode(instance, flat);
        EXPECT_EQ(4u * 17, c.bits);
        for (int k = 0; k < 4; ++k)
            EXPECT_TRUE(std::all_of(c.quantised.block[k].v + 1, c.quantised.block[k].v + 64,
                                    [](int16_t v) { return v == 0; }));
        if (value == 128) {
            const int16_t dc[4] = {320, 320, 301, 301}, restored[4] = {1024, 1024, 1023, 1023};
            for (int k = 0; k < 4; ++k) {
                EXPECT_EQ(dc[k], c.quantised.block[k].v[0]);
                Block b = c.quantised.block[k];
                instance->transformKernels.dequantize(&b, Scales(instance, k));
                EXPECT_EQ(restored[k], b.v[0]);
            }
        }
        const MacroblockBuffer back = Decode(instance, c);
        EXPECT_EQ(0, std::memcmp(&flat, &back, sizeof flat));
    }
}

TEST_P(MacroblockTest, RampQuantisesAndReconstructsAsKnown)
{
    const auto t = Instance(95);
    const CodecInstance* instance = &t->instance;
    MacroblockBuffer ramp = FlatMacroblock(128);
    for (int i = 0; i < 64; ++i)
        ramp.block[BLOCK_Y_LEFT].v[i] = int16_t(10 * (i % 8));
    const Coded c = Encode(instance, ramp);

    const int16_t quantised[8] = {88, -83, 0, -6, 0, -1, 0, 0};
    const int16_t dequantised[8] = {282, -183, 0, -19, 0, -8, 0, 0};
    const int16_t line[8] = {0, 10, 20, 30, 41, 50, 60, 71};
    Block b = c.quantised.block[BLOCK_Y_LEFT];
    EXPECT_TRUE(std::equal(quantised, quantised + 8, b.v));
    EXPECT_TRUE(std::all_of(b.v + 8, b.v + 64, [](int16_t v) { return v == 0; }));
    instance->transformKernels.dequantize(&b, instance->lumaScales);
    EXPECT_TRUE(std::equal(dequantised, dequantised + 8, b.v));

    const MacroblockBuffer back = Decode(instance, c);
    for (int y = 0; y < 8; ++y)
        EXPECT_TRUE(std::equal(line, line + 8, back.block[BLOCK_Y_LEFT].v + 8 * y)) << "line " << y;
    const MacroblockBuffer flat = FlatMacroblock(128);
    EXPECT_EQ(0, std::memcmp(&flat.block[1], &back.block[1], 3 * sizeof(Block)));
}

// On textured macroblocks the decoder gives exactly the dequantised inverse of
// what the encoder quantised, the plain twins code the same bits as SSE2, and
// the error shrinks as the quality rises (to a PSNR near 40 dB at 95).
TEST_P(MacroblockTest, DecoderInvertsEncoderAndTwinsAgree)
{
    SampleRandom random{2024};
    double previousMse = 1e9;
    for (int quality : {50, 75, 95, 99}) {
        SCOPED_TRACE(quality);
        const auto t = Instance(quality);
        const auto plain = MakeTransformTestInstance(quality, 0);
        AddEntropyCode(plain.get(), 0);
        int64_t squares = 0;
        for (int n = 0; n < 200; ++n) {
            MacroblockBuffer samples;
            FillTexturedMacroblock(&samples, &random);
            const Coded c = Encode(&t->instance, samples);
            const Coded reference = Encode(&plain->instance, samples);
            ASSERT_EQ(reference.bits, c.bits);
            ASSERT_EQ(reference.bytes, c.bytes);
            ASSERT_EQ(0, std::memcmp(&reference.quantised, &c.quantised, sizeof c.quantised));

            const MacroblockBuffer back = Decode(&t->instance, c);
            MacroblockBuffer expected = c.quantised;
            for (int k = 0; k < 4; ++k) {
                DequantizePlain(&expected.block[k], Scales(&t->instance, k));
                InverseDctPlain(&expected.block[k]);
            }
            ASSERT_EQ(0, std::memcmp(&expected, &back, sizeof back));
            for (int k = 0; k < 4; ++k) {
                for (int i = 0; i < 64; ++i) {
                    const int e = back.block[k].v[i] - samples.block[k].v[i];
                    squares += e * e;
                }
            }
        }
        const double mse = double(squares) / (200 * 256);
        EXPECT_LT(mse, previousMse);
        previousMse = mse;
        if (quality == 95) {
            EXPECT_LT(mse, 8.0);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Kernels, MacroblockTest, KERNEL_VARIANTS, KernelVariantName);

}  // namespace
