// Every SSE2 transform kernel against its plain twin on random input, in the
// manner of a kernel checker: realistic blocks, sparse and DC-only ones, and
// extremes that saturate every intermediate. All output values must match
// exactly, and neither kernel may touch the guard words around the block.
// The seed is printed; --gtest_random_seed=N replays a run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <vector>

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

constexpr int16_t GUARD = 0x5A7E;

struct alignas(16) Guarded {
    int16_t before[8];
    Block block;
    int16_t after[8];
};

class TransformKernelCheck : public testing::Test {
protected:
    void SetUp() override
    {
        InitTransformKernels(&plain, 0);
        InitTransformKernels(&sse2, CPU_FEATURE_SSE2);
        if (sse2.forwardDct == plain.forwardDct)
            GTEST_SKIP() << "no SSE2 kernels in this build";
        const int flag = GTEST_FLAG_GET(random_seed);
        seed = flag != 0 ? uint32_t(flag) : 20251;
        std::printf("[   SEED   ] %u\n", seed);
        random.seed(seed);
        textures.state = seed;
    }

    // Runs both kernels on the same input; stops the test at the first
    // difference, naming the input.
    template <typename RunPlain, typename RunSse2>
    void Check(const char* what, const Block& input, RunPlain runPlain, RunSse2 runSse2)
    {
        Guarded a, b;
        std::fill(std::begin(a.before), std::end(a.before), GUARD);
        std::fill(std::begin(a.after), std::end(a.after), GUARD);
        a.block = input;
        b = a;
        runPlain(&a.block);
        runSse2(&b.block);
        for (int i = 0; i < 8; ++i) {
            ASSERT_EQ(GUARD, a.before[i]) << what << ": plain twin wrote before the block";
            ASSERT_EQ(GUARD, a.after[i]) << what << ": plain twin wrote after the block";
        }
        if (std::memcmp(&a, &b, sizeof a) != 0) {
            std::string dump;
            for (int i = 0; i < 64; ++i)
                dump += std::to_string(input.v[i]) + (i % 8 == 7 ? "\n" : " ");
            FAIL() << what << ": SSE2 differs from the plain twin (seed " << seed << ") on\n" << dump;
        }
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

    // What the decoder feeds the inverse transform: coded and restored
    // coefficients of photograph-like or random samples.
    Block Restored(const CodecInstance* instance)
    {
        Block b = Below(2) ? Textured() : Samples(0, 255);
        plain.forwardDct(&b);
        plain.quantize(&b, instance->lumaReciprocals);
        plain.dequantize(&b, instance->lumaScales);
        return b;
    }

    uint32_t seed = 0;
    std::mt19937 random;
    SampleRandom textures{};
    TransformKernels plain, sse2;
};

TEST_F(TransformKernelCheck, ForwardDct)
{
    const auto run = [](TransformFn fn) { return [fn](Block* b) { fn(b); }; };
    for (int n = 0; n < ROUNDS; ++n) {
        ASSERT_NO_FATAL_FAILURE(Check("samples", Samples(0, 255), run(plain.forwardDct), run(sse2.forwardDct)));
        ASSERT_NO_FATAL_FAILURE(Check("textured", Textured(), run(plain.forwardDct), run(sse2.forwardDct)));
        ASSERT_NO_FATAL_FAILURE(Check("full range", FullRange(), run(plain.forwardDct), run(sse2.forwardDct)));
        ASSERT_NO_FATAL_FAILURE(Check("extremes", Extremes(), run(plain.forwardDct), run(sse2.forwardDct)));
    }
}

TEST_F(TransformKernelCheck, InverseDct)
{
    const auto run = [](TransformFn fn) { return [fn](Block* b) { fn(b); }; };
    const auto q50 = MakeTransformTestInstance(50, 0), q95 = MakeTransformTestInstance(95, 0);
    const auto q99 = MakeTransformTestInstance(99, 0);
    const CodecInstance* qualities[] = {&q50->instance, &q95->instance, &q99->instance};
    for (int n = 0; n < ROUNDS; ++n) {
        const Block restored = Restored(qualities[n % 3]);
        ASSERT_NO_FATAL_FAILURE(Check("restored", restored, run(plain.inverseDct), run(sse2.inverseDct)));
        ASSERT_NO_FATAL_FAILURE(Check("full range", FullRange(), run(plain.inverseDct), run(sse2.inverseDct)));
        ASSERT_NO_FATAL_FAILURE(Check("extremes", Extremes(), run(plain.inverseDct), run(sse2.inverseDct)));
        ASSERT_NO_FATAL_FAILURE(Check("sparse", Sparse(), run(plain.inverseDct), run(sse2.inverseDct)));
        ASSERT_NO_FATAL_FAILURE(Check("DC only", DcOnly(), run(plain.inverseDct), run(sse2.inverseDct)));
    }
}

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

    std::vector<std::unique_ptr<TransformTestInstance>> instances;
    alignas(16) float hostile[8][64];
    std::vector<const float*> tables;
};

TEST_F(TransformKernelCheck, QuantizeAndDequantize)
{
    const ScaleTables scale(&random);
    const auto run = [](ScaleFn fn, const float* table) { return [fn, table](Block* b) { fn(b, table); }; };
    for (int n = 0; n < ROUNDS; ++n) {
        const float* table = scale.tables[size_t(n) % scale.tables.size()];
        Block coefficients = Below(2) ? Textured() : Samples(0, 255);
        plain.forwardDct(&coefficients);
        ASSERT_NO_FATAL_FAILURE(
            Check("coefficients", coefficients, run(plain.quantize, table), run(sse2.quantize, table)));
        ASSERT_NO_FATAL_FAILURE(Check("full range", FullRange(), run(plain.quantize, table), run(sse2.quantize, table)));
        ASSERT_NO_FATAL_FAILURE(
            Check("full range", FullRange(), run(plain.dequantize, table), run(sse2.dequantize, table)));
        ASSERT_NO_FATAL_FAILURE(
            Check("extremes", Extremes(), run(plain.dequantize, table), run(sse2.dequantize, table)));
    }
}

}  // namespace
