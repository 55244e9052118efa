// SPDX-License-Identifier: BSD-2-Clause
// Every vector tier of the transform kernels against the plain twins on
// random input, in the manner of a kernel checker: realistic blocks, sparse
// and DC-only ones, the whole 16-bit range and extremes that saturate every
// intermediate, with tables of every quality and of special floats. All
// output values must match exactly, and no kernel may touch the guard words
// around its blocks. The seed is printed; QF25_CHECK_SEED=<seed> replays a run.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "support/CheckRounds.h"
#include "support/TexturedBlocks.h"
#include "support/TransformTestInstance.h"

namespace {

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define QF25_CHECK_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QF25_CHECK_SANITIZED 1
#endif

// Millions of values in a release build; far fewer when instrumented.
#if defined(QF25_CHECK_SANITIZED) || !defined(NDEBUG)
constexpr int ROUNDS = 2000;
#else
constexpr int ROUNDS = 60000;
#endif

const int scaledRounds = CheckRounds(ROUNDS);

constexpr int16_t GUARD = 0x5A7E;

// One or two blocks as a kernel sees them, between guard words.
struct alignas(32) Guarded {
    int16_t before[16];
    Block blocks[2];
    int16_t after[16];
};

// The tiers above the plain twins that this processor runs.
std::vector<uint32_t> VectorTiers()
{
    std::vector<uint32_t> tiers;
    const uint32_t detected = DetectedCpuFlags();
    if (detected & CPU_FEATURE_SSE2)
        tiers.push_back(CPU_FEATURE_SSE2);
    if (detected & CPU_FEATURE_AVX2)
        tiers.push_back(CPU_FEATURE_SSE2 | CPU_FEATURE_AVX2);
    return tiers;
}

// The tiers among those whose single-block kernels are not all taken from the
// tier below: only the pair kernels are wide.
std::vector<uint32_t> BlockKernelTiers()
{
    std::vector<uint32_t> tiers;
    for (const uint32_t tier : VectorTiers()) {
        TransformKernels own, lower;
        InitTransformKernels(&own, tier);
        InitTransformKernels(&lower, tier & ~uint32_t(CPU_FEATURE_AVX2));
        if (tier == CPU_FEATURE_SSE2 || own.forwardDct != lower.forwardDct || own.inverseDct != lower.inverseDct ||
            own.quantize != lower.quantize || own.dequantize != lower.dequantize)
            tiers.push_back(tier);
    }
    return tiers;
}

std::string TierName(const testing::TestParamInfo<uint32_t>& info)
{
    return (info.param & CPU_FEATURE_AVX2) ? "Avx2" : "Sse2";
}

uint32_t CheckSeed()
{
    const char* given = std::getenv("QF25_CHECK_SEED");
    const uint32_t seed = given ? uint32_t(std::strtoul(given, nullptr, 0))
                                : uint32_t(std::chrono::steady_clock::now().time_since_epoch().count());
    std::printf("[ seed     ] QF25_CHECK_SEED=%u\n", seed);
    testing::Test::RecordProperty("seed", std::to_string(seed));
    return seed;
}

std::string Dump(const Block* blocks, int count)
{
    std::string dump;
    for (int k = 0; k < count; ++k)
        for (int i = 0; i < 64; ++i)
            dump += std::to_string(blocks[k].v[i]) + (i % 8 == 7 ? "\n" : " ");
    return dump;
}

class TransformKernelCheck : public testing::TestWithParam<uint32_t> {
protected:
    void SetUp() override
    {
        InitTransformKernels(&plain, 0);
        InitTransformKernels(&lower, GetParam() & ~uint32_t(CPU_FEATURE_AVX2));
        InitTransformKernels(&tested, GetParam());
        if (tested.forwardDct == plain.forwardDct)
            GTEST_SKIP() << "no vector kernels in this build";
        seed = CheckSeed();
        random.seed(seed);
        textures.state = seed;
    }

    // Whether `kernel` of the tested tier is its own, not one it takes from
    // the tier below (which has been checked there).
    template <typename Fn>
    bool Owns(Fn TransformKernels::*kernel) const
    {
        return GetParam() == CPU_FEATURE_SSE2 || tested.*kernel != lower.*kernel;
    }

    // Runs the plain twin and the tested kernel on the same `count` blocks;
    // stops the test at the first difference, naming the input.
    template <typename RunPlain, typename RunTested>
    void Check(const char* what, const Block* input, int count, RunPlain runPlain, RunTested runTested)
    {
        Guarded a;
        std::fill(std::begin(a.before), std::end(a.before), GUARD);
        std::fill(std::begin(a.after), std::end(a.after), GUARD);
        for (Block& unused : a.blocks)  // a single block has a whole one for a guard
            std::fill(std::begin(unused.v), std::end(unused.v), GUARD);
        std::copy(input, input + count, a.blocks);
        Guarded b = a;
        runPlain(a.blocks);
        runTested(b.blocks);
        for (int i = 0; i < 16; ++i) {
            ASSERT_EQ(GUARD, a.before[i]) << what << ": plain twin wrote before the blocks";
            ASSERT_EQ(GUARD, a.after[i]) << what << ": plain twin wrote after the blocks";
        }
        if (std::memcmp(&a, &b, sizeof a) != 0)
            FAIL() << what << ": the kernel differs from the plain twin or from the guards (seed " << seed
                   << ") on\n"
                   << Dump(input, count);
    }

    int16_t Any() { return int16_t(std::uniform_int_distribution<int>(-32768, 32767)(random)); }
    int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); }

    Block Samples(int lo, int hi)
    {
        Block b;
        std::uniform_int_distribution<int> value(lo, hi);
        for (int16_t& v : b.v)
            v = int16_t(value(random));
        return b;
    }

    Block Textured()
    {
        Block b;
        FillTexturedBlock(&b, &textures);
        return b;
    }

    Block FullRange()
    {
        Block b;
        for (int16_t& v : b.v)
            v = Any();
        return b;
    }

    // The values that push saturating sums and products to their limits.
    Block Extremes()
    {
        static const int16_t EDGES[] = {-32768, -32767, -16384, -1, 0, 1, 255, 16383, 32767};
        Block b;
        for (int16_t& v : b.v)
            v = EDGES[Below(int(std::size(EDGES)))];
        return b;
    }

    Block Sparse()
    {
        Block b{};
        for (int n = Below(4); n >= 0; --n)
            b.v[Below(64)] = Any();
        return b;
    }

    Block DcOnly()
    {
        Block b{};
        b.v[0] = Any();
        return b;
    }

    // Coefficients in the first one or four rows only, as most decoded blocks
    // have them: the vector kernels skip the zero rows below.
    Block FirstRows()
    {
        Block b{};
        const int rows = Below(2) ? 1 : 4;
        for (int n = Below(6); n >= 0; --n)
            b.v[Below(8 * rows)] = Any();
        return b;
    }

    // What the encoder quantises: coefficients of photograph-like or random
    // samples.
    Block Coefficients()
    {
        Block b = Below(2) ? Textured() : Samples(0, 255);
        plain.forwardDct(&b);
        return b;
    }

    // What the decoder reads: those coefficients quantised with `table`.
    Block Quantised(const float* reciprocals)
    {
        Block b = Coefficients();
        plain.quantize(&b, reciprocals);
        return b;
    }

    // Samples of every kind for the forward transforms.
    Block AnySamples()
    {
        switch (Below(4)) {
        case 0: return Samples(0, 255);
        case 1: return Textured();
        case 2: return FullRange();
        default: return Extremes();
        }
    }

    // Coefficients of every kind for the dequantiser and inverse transform.
    Block AnyCoefficients(const float* reciprocals)
    {
        switch (Below(6)) {
        case 0: return Quantised(reciprocals);
        case 1: return FullRange();
        case 2: return Extremes();
        case 3: return Sparse();
        case 4: return FirstRows();
        default: return DcOnly();
        }
    }

    uint32_t seed = 0;
    std::mt19937 random;
    SampleRandom textures{};
    TransformKernels plain, lower, tested;
};

const auto RunBlock = [](TransformFn fn) { return [fn](Block* b) { fn(b); }; };
const auto RunScale = [](ScaleFn fn, const float* table) { return [fn, table](Block* b) { fn(b, table); }; };
const auto RunPair = [](BlockPairFn fn, const float* table) { return [fn, table](Block* b) { fn(b, table); }; };

// Tables of every quality a frame byte can carry (0, 100 with its infinite
// reciprocals, negative steps above 100) and tables of special floats.
class ScaleTables {
public:
    explicit ScaleTables(std::mt19937* random)
    {
        for (int q : {0, 1, 50, 75, 95, 99, 100, 101, 150, 255}) {
            instances.push_back(MakeTransformTestInstance(q, 0));
            const CodecInstance* instance = &instances.back()->instance;
            for (const float* table : {instance->lumaReciprocals, instance->chromaReciprocals, instance->lumaScales,
                                       instance->chromaScales})
                tables.push_back(table);
        }
        const float inf = std::numeric_limits<float>::infinity();
        const float specials[] = {std::numeric_limits<float>::quiet_NaN(), inf, -inf, 0.0f, -0.0f, 1e-40f,
                                  0.5f, 1.5f, 65536.0f, 1e30f, -1e30f, 2.0f / 3.0f};
        std::uniform_real_distribution<float> ordinary(-300.0f, 300.0f);
        for (auto& t : hostile) {
            for (float& v : t)
                v = (*random)() % 3 ? specials[(*random)() % std::size(specials)] : ordinary(*random);
            tables.push_back(t);
        }
    }

    const float* Pick(int n) const { return tables[size_t(n) % tables.size()]; }

    std::vector<std::unique_ptr<TransformTestInstance>> instances;
    alignas(16) float hostile[8][64];
    std::vector<const float*> tables;
};

class TransformBlockCheck : public TransformKernelCheck {};

TEST_P(TransformBlockCheck, ForwardDct)
{
    if (!Owns(&TransformKernels::forwardDct))
        GTEST_SKIP() << "the SSE2 kernel, checked with that tier";
    for (int n = 0; n < scaledRounds; ++n) {
        const Block inputs[] = {Samples(0, 255), Textured(), FullRange(), Extremes()};
        for (const Block& input : inputs)
            ASSERT_NO_FATAL_FAILURE(
                Check("samples", &input, 1, RunBlock(plain.forwardDct), RunBlock(tested.forwardDct)));
    }
}

TEST_P(TransformBlockCheck, InverseDct)
{
    if (!Owns(&TransformKernels::inverseDct))
        GTEST_SKIP() << "the SSE2 kernel, checked with that tier";
    const auto q50 = MakeTransformTestInstance(50, 0), q95 = MakeTransformTestInstance(95, 0);
    const auto q99 = MakeTransformTestInstance(99, 0);
    const CodecInstance* qualities[] = {&q50->instance, &q95->instance, &q99->instance};
    for (int n = 0; n < scaledRounds; ++n) {
        const CodecInstance* instance = qualities[n % 3];
        Block restored = Quantised(instance->lumaReciprocals);
        plain.dequantize(&restored, instance->lumaScales);
        const Block inputs[] = {restored, FullRange(), Extremes(), Sparse(), DcOnly()};
        for (const Block& input : inputs)
            ASSERT_NO_FATAL_FAILURE(
                Check("coefficients", &input, 1, RunBlock(plain.inverseDct), RunBlock(tested.inverseDct)));
    }
}

TEST_P(TransformBlockCheck, QuantizeAndDequantize)
{
    if (!Owns(&TransformKernels::quantize) && !Owns(&TransformKernels::dequantize))
        GTEST_SKIP() << "the SSE2 kernels, checked with that tier";
    const ScaleTables scale(&random);
    for (int n = 0; n < scaledRounds; ++n) {
        const float* table = scale.Pick(n);
        const Block coefficients = Coefficients(), wide = FullRange(), extremes = Extremes();
        ASSERT_NO_FATAL_FAILURE(
            Check("coefficients", &coefficients, 1, RunScale(plain.quantize, table), RunScale(tested.quantize, table)));
        ASSERT_NO_FATAL_FAILURE(
            Check("full range", &wide, 1, RunScale(plain.quantize, table), RunScale(tested.quantize, table)));
        ASSERT_NO_FATAL_FAILURE(
            Check("full range", &wide, 1, RunScale(plain.dequantize, table), RunScale(tested.dequantize, table)));
        ASSERT_NO_FATAL_FAILURE(
            Check("extremes", &extremes, 1, RunScale(plain.dequantize, table), RunScale(tested.dequantize, table)));
    }
}

// Two blocks of independent kinds, so that each half of a wide vector meets
// every kind next to every other.
TEST_P(TransformKernelCheck, ForwardPair)
{
    const ScaleTables scale(&random);
    for (int n = 0; n < scaledRounds; ++n) {
        const float* reciprocals = scale.Pick(n);
        const Block pair[2] = {AnySamples(), AnySamples()};
        ASSERT_NO_FATAL_FAILURE(Check("samples", pair, 2, RunPair(plain.forwardPair, reciprocals),
                                      RunPair(tested.forwardPair, reciprocals)));
    }
}

TEST_P(TransformKernelCheck, InversePair)
{
    const ScaleTables scale(&random);
    const auto q95 = MakeTransformTestInstance(95, 0);
    for (int n = 0; n < scaledRounds; ++n) {
        const float* scales = scale.Pick(n);
        const Block pair[2] = {AnyCoefficients(q95->instance.lumaReciprocals),
                               AnyCoefficients(q95->instance.chromaReciprocals)};
        ASSERT_NO_FATAL_FAILURE(
            Check("coefficients", pair, 2, RunPair(plain.inversePair, scales), RunPair(tested.inversePair, scales)));
    }
}

INSTANTIATE_TEST_SUITE_P(Tiers, TransformKernelCheck, testing::ValuesIn(VectorTiers()), TierName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(TransformKernelCheck);
INSTANTIATE_TEST_SUITE_P(Tiers, TransformBlockCheck, testing::ValuesIn(BlockKernelTiers()), TierName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(TransformBlockCheck);

}  // namespace
