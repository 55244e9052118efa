// SPDX-License-Identifier: BSD-2-Clause
// The fixed-point transforms on known blocks and against a double-precision
// DCT, for every kernel set, block by block and in pairs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numbers>
#include <random>
#include <string>

#include "support/KernelVariants.h"
#include "transform/TransformKernels.h"

namespace {

void ExpectBlocksEqual(const Block& expected, const Block& actual);

// A quantiser table of ones: an exact identity, through which the pair
// kernels give the transforms alone.
struct UnitTable {
    UnitTable() { std::fill(std::begin(v), std::end(v), 1.0f); }
    alignas(16) float v[64];
};

// Each transform through the block kernel and through the pair kernel, with
// the block in both places of the pair; all three must agree.
class DctTest : public testing::TestWithParam<uint32_t> {
protected:
    void SetUp() override { InitTransformKernels(&kernels, GetParam()); }

    Block Forward(Block b) const
    {
        Block pair[2] = {b, b};
        kernels.forwardDct(&b);
        kernels.forwardPair(pair, unit.v);
        ExpectBlocksEqual(b, pair[0]);
        ExpectBlocksEqual(b, pair[1]);
        return b;
    }

    Block Inverse(Block b) const
    {
        Block pair[2] = {b, b};
        kernels.inverseDct(&b);
        kernels.inversePair(pair, unit.v);
        ExpectBlocksEqual(b, pair[0]);
        ExpectBlocksEqual(b, pair[1]);
        return b;
    }

    TransformKernels kernels;
    UnitTable unit;
};

Block Filled(int (*value)(int y, int x))
{
    Block b;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            b.v[8 * y + x] = int16_t(value(y, x));
    return b;
}

Block Flat(int c)
{
    Block b;
    for (int16_t& v : b.v)
        v = int16_t(c);
    return b;
}

Block DcOnly(int dc)
{
    Block b = Flat(0);
    b.v[0] = int16_t(dc);
    return b;
}

void ExpectBlocksEqual(const Block& expected, const Block& actual)
{
    for (int i = 0; i < 64; ++i)
        EXPECT_EQ(expected.v[i], actual.v[i]) << "row " << i / 8 << ", column " << i % 8;
}

TEST_P(DctTest, FlatBlocksHaveOnlyDc)
{
    for (int c = -256; c <= 255; ++c)
        ExpectBlocksEqual(DcOnly(8 * c), Forward(Flat(c)));
}

TEST_P(DctTest, RampsTransformToKnownCoefficientsAndBack)
{
    const int16_t expected[8] = {280, -182, 0, -19, 0, -6, 0, -1};
    const Block across = Filled([](int, int x) { return 10 * x; });
    const Block down = Filled([](int y, int) { return 10 * y; });
    Block acrossCoefficients = Flat(0), downCoefficients = Flat(0);
    for (int k = 0; k < 8; ++k) {
        acrossCoefficients.v[k] = expected[k];
        downCoefficients.v[8 * k] = expected[k];
    }
    ExpectBlocksEqual(acrossCoefficients, Forward(across));
    ExpectBlocksEqual(downCoefficients, Forward(down));
    ExpectBlocksEqual(across, Inverse(acrossCoefficients));
    ExpectBlocksEqual(down, Inverse(downCoefficients));
}

TEST_P(DctTest, CheckerboardHasOnlyOddFrequenciesAndComesBackExactly)
{
    const Block board = Filled([](int y, int x) { return ((x + y) & 1) * 255; });
    const Block c = Forward(board);
    EXPECT_EQ(1020, c.v[0]);
    EXPECT_EQ(-837, c.v[63]);
    for (int i = 1; i < 64; ++i) {
        const bool bothOdd = (i / 8) % 2 == 1 && (i % 8) % 2 == 1;
        EXPECT_EQ(bothOdd, c.v[i] != 0) << "coefficient " << i;
    }
    ExpectBlocksEqual(board, Inverse(c));
}

TEST_P(DctTest, DcOnlyBlocksInverseToFlatBlocksWithTiesSplitByLine)
{
    ExpectBlocksEqual(Flat(0), Inverse(Flat(0)));
    for (int d = -4096; d <= 4091; ++d) {
        const Block samples = Inverse(DcOnly(d));
        const bool tie = (d & 7) == 4;
        for (int i = 0; i < 64; ++i) {
            const int line = i / 8;
            const int expected = tie && (line == 3 || line == 4) ? d >> 3 : (d + 4) >> 3;
            ASSERT_EQ(expected, samples.v[i]) << "DC " << d << ", line " << line;
        }
    }
}

// Forward then inverse is close to the identity but, by definition, not equal.
TEST_P(DctTest, RoundTripKeepsItsKnownErrors)
{
    Block bump = Flat(107);
    bump.v[2] = 109;
    ExpectBlocksEqual(Flat(107), Inverse(Forward(bump)));

    Block corner = Flat(0);
    corner.v[0] = 255;
    const Block back = Inverse(Forward(corner));
    EXPECT_EQ(-1, back.v[8 * 3 + 3]);
    EXPECT_EQ(255, back.v[0]);
}

// F(u, v) = 1/4 C(u) C(v) sum f(y, x) cos((2y+1)u pi/16) cos((2x+1)v pi/16).
struct ReferenceDct {
    double basis[8][8];  // basis[u][y] = C(u)/2 cos((2y+1)u pi/16)

    ReferenceDct()
    {
        for (int u = 0; u < 8; ++u)
            for (int y = 0; y < 8; ++y)
                basis[u][y] = (u == 0 ? std::numbers::sqrt2 / 4 : 0.5) *
                              std::cos((2 * y + 1) * u * std::numbers::pi / 16);
    }

    void Forward(const double in[64], double out[64]) const { Apply(in, out, false); }
    void Inverse(const double in[64], double out[64]) const { Apply(in, out, true); }

    void Apply(const double in[64], double out[64], bool inverse) const
    {
        for (int u = 0; u < 8; ++u) {
            for (int v = 0; v < 8; ++v) {
                double sum = 0;
                for (int y = 0; y < 8; ++y)
                    for (int x = 0; x < 8; ++x)
                        sum += in[8 * y + x] * (inverse ? basis[y][u] * basis[x][v] : basis[u][y] * basis[v][x]);
                out[8 * u + v] = sum;
            }
        }
    }
};

struct ErrorStats {
    double peak = 0;
    double sumSquares = 0;
    double sum = 0;
    double positionSum[64] = {};
    int blocks = 0;

    void Add(int i, double e)
    {
        peak = std::max(peak, std::abs(e));
        sumSquares += e * e;
        sum += e;
        positionSum[i] += e;
    }

    double Mse() const { return sumSquares / (64.0 * blocks); }
    double Mean() const { return sum / (64.0 * blocks); }

    double WorstPositionBias() const
    {
        double worst = 0;
        for (double s : positionSum)
            worst = std::max(worst, std::abs(s) / blocks);
        return worst;
    }
};

// In the manner of IEEE 1180: random 8-bit blocks for the forward transform;
// for the inverse, rounded reference coefficients of random blocks, judged
// against the rounded reference inverse with that standard's limits.
TEST_P(DctTest, AccuracyAgainstDoublePrecision)
{
    const ReferenceDct reference;
    std::mt19937 random(1180);
    std::uniform_int_distribution<int> sample(0, 255);
    ErrorStats forward, inverse;
    for (int n = 0; n < 4000; ++n) {
        Block b;
        double in[64], exact[64], back[64];
        for (int i = 0; i < 64; ++i)
            in[i] = b.v[i] = int16_t(sample(random));
        reference.Forward(in, exact);
        const Block c = Forward(b);
        for (int i = 0; i < 64; ++i)
            forward.Add(i, c.v[i] - exact[i]);
        ++forward.blocks;

        Block rounded;
        for (int i = 0; i < 64; ++i) {
            exact[i] = std::nearbyint(exact[i]);
            rounded.v[i] = int16_t(exact[i]);
        }
        reference.Inverse(exact, back);
        const Block s = Inverse(rounded);
        for (int i = 0; i < 64; ++i)
            inverse.Add(i, s.v[i] - std::nearbyint(back[i]));
        ++inverse.blocks;
    }
    RecordProperty("forwardPeak", std::to_string(forward.peak));
    RecordProperty("forwardMse", std::to_string(forward.Mse()));
    RecordProperty("inversePeak", std::to_string(inverse.peak));
    RecordProperty("inverseMse", std::to_string(inverse.Mse()));
    // Half a unit from rounding to integers plus the fixed-point error.
    EXPECT_LE(forward.peak, 0.7);
    EXPECT_LE(forward.Mse(), 0.1);
    EXPECT_LE(std::abs(forward.Mean()), 0.01);
    EXPECT_LE(forward.WorstPositionBias(), 0.1);
    EXPECT_LE(inverse.peak, 1.0);
    EXPECT_LE(inverse.Mse(), 0.02);
    EXPECT_LE(std::abs(inverse.Mean()), 0.0015);
    EXPECT_LE(inverse.WorstPositionBias(), 0.015);
}

INSTANTIATE_TEST_SUITE_P(Kernels, DctTest, KERNEL_VARIANTS, KernelVariantName);

}  // namespace
