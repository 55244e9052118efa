// SPDX-License-Identifier: BSD-2-Clause
// Time per block of the transform kernels and per macroblock of macroblock
// coding at quality 95, for every kernel set, on photograph-like blocks. Each
// pass works on fresh copies of a set of blocks, so the copy is part of the
// time (about a nanosecond per block).
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "codec/Macroblock.h"
#include "support/TexturedBlocks.h"
#include "support/TransformTestInstance.h"

namespace {

constexpr int BLOCKS = 256;
constexpr int MACROBLOCKS = BLOCKS / 4;

enum class Kernel { FORWARD_DCT, INVERSE_DCT, QUANTIZE, DEQUANTIZE, FORWARD_PAIR, INVERSE_PAIR };

bool IsForward(Kernel kernel)
{
    return kernel == Kernel::FORWARD_DCT || kernel == Kernel::FORWARD_PAIR;
}

// Samples for the forward transforms and the quantiser's coefficients; what
// the decoder would restore for the inverse transform, and what it would
// read for the dequantiser.
std::vector<MacroblockBuffer> Inputs(const CodecInstance* instance, Kernel kernel)
{
    std::vector<MacroblockBuffer> set(MACROBLOCKS);
    SampleRandom random{95};
    for (MacroblockBuffer& m : set) {
        FillTexturedMacroblock(&m, &random);
        if (IsForward(kernel))
            continue;
        for (Block& b : m.block) {
            ForwardDctPlain(&b);
            if (kernel == Kernel::QUANTIZE)
                continue;
            QuantizePlain(&b, instance->lumaReciprocals);
            if (kernel == Kernel::INVERSE_DCT)
                DequantizePlain(&b, instance->lumaScales);
        }
    }
    return set;
}

// Rows of a kernel set the processor lacks are skipped.
bool Runnable(benchmark::State& state, uint32_t cpuFlags)
{
    if ((cpuFlags & CPU_FEATURE_AVX2) && !(DetectedCpuFlags() & CPU_FEATURE_AVX2)) {
        state.SkipWithError("the processor has no AVX2");
        return false;
    }
    return true;
}

void PerItem(benchmark::State& state, int items, const char* name)
{
    state.counters[name] = benchmark::Counter(items, benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
}

void RunKernel(const CodecInstance* instance, Kernel kernel, MacroblockBuffer* m)
{
    const TransformKernels& k = instance->transformKernels;
    switch (kernel) {
    case Kernel::FORWARD_PAIR:
        k.forwardPair(&m->block[BLOCK_Y_LEFT], instance->lumaReciprocals);
        k.forwardPair(&m->block[BLOCK_CB], instance->chromaReciprocals);
        return;
    case Kernel::INVERSE_PAIR:
        k.inversePair(&m->block[BLOCK_Y_LEFT], instance->lumaScales);
        k.inversePair(&m->block[BLOCK_CB], instance->chromaScales);
        return;
    default: break;
    }
    for (Block& b : m->block) {
        switch (kernel) {
        case Kernel::FORWARD_DCT: k.forwardDct(&b); break;
        case Kernel::INVERSE_DCT: k.inverseDct(&b); break;
        case Kernel::QUANTIZE: k.quantize(&b, instance->lumaReciprocals); break;
        default: k.dequantize(&b, instance->lumaScales); break;
        }
    }
}

void TransformKernel(benchmark::State& state, Kernel kernel, uint32_t cpuFlags)
{
    if (!Runnable(state, cpuFlags))
        return;
    const auto t = MakeTransformTestInstance(95, cpuFlags);
    const std::vector<MacroblockBuffer> source = Inputs(&t->instance, kernel);
    std::vector<MacroblockBuffer> work(source.size());
    for (auto _ : state) {
        std::memcpy(work.data(), source.data(), work.size() * sizeof work[0]);
        for (MacroblockBuffer& m : work)
            RunKernel(&t->instance, kernel, &m);
        benchmark::ClobberMemory();
    }
    PerItem(state, BLOCKS, "time/block");
}

struct CodedSet {
    std::unique_ptr<TransformTestInstance> t;
    std::vector<MacroblockBuffer> samples;
    std::vector<uint8_t> stream;
};

CodedSet PrepareMacroblocks(uint32_t cpuFlags)
{
    CodedSet s{MakeTransformTestInstance(95, cpuFlags), std::vector<MacroblockBuffer>(MACROBLOCKS), {}};
    AddEntropyCode(s.t.get(), cpuFlags);
    SampleRandom random{95};
    for (MacroblockBuffer& m : s.samples)
        FillTexturedMacroblock(&m, &random);
    s.stream.resize(MACROBLOCKS * 4 * MAX_BLOCK_BYTES + 64);
    return s;
}

void Encode(benchmark::State& state, uint32_t cpuFlags)
{
    if (!Runnable(state, cpuFlags))
        return;
    CodedSet s = PrepareMacroblocks(cpuFlags);
    std::vector<MacroblockBuffer> work(s.samples.size());
    BitWriter writer;
    for (auto _ : state) {
        std::memcpy(work.data(), s.samples.data(), work.size() * sizeof work[0]);
        Reset(&writer, s.stream.data(), uint32_t(s.stream.size()));
        for (MacroblockBuffer& m : work)
            EncodeMacroblock(&s.t->instance, &m, &writer);
        benchmark::ClobberMemory();
    }
    PerItem(state, MACROBLOCKS, "time/macroblock");
    state.counters["bits/macroblock"] = double(writer.position) / MACROBLOCKS;
}

void Decode(benchmark::State& state, uint32_t cpuFlags)
{
    if (!Runnable(state, cpuFlags))
        return;
    CodedSet s = PrepareMacroblocks(cpuFlags);
    BitWriter writer;
    Reset(&writer, s.stream.data(), uint32_t(s.stream.size()));
    for (MacroblockBuffer m : s.samples)
        EncodeMacroblock(&s.t->instance, &m, &writer);
    MacroblockBuffer out;
    BitReader reader;
    for (auto _ : state) {
        Reset(&reader, s.stream.data(), uint32_t(s.stream.size()));
        for (int n = 0; n < MACROBLOCKS; ++n)
            DecodeMacroblock(&s.t->instance, &out, &reader);
        benchmark::DoNotOptimize(out);
    }
    PerItem(state, MACROBLOCKS, "time/macroblock");
}

constexpr uint32_t PLAIN = 0;
constexpr uint32_t SSE2 = CPU_FEATURE_SSE2;
constexpr uint32_t AVX2 = CPU_FEATURE_SSE2 | CPU_FEATURE_AVX2;

BENCHMARK_CAPTURE(TransformKernel, ForwardDctSse2, Kernel::FORWARD_DCT, SSE2);
BENCHMARK_CAPTURE(TransformKernel, ForwardDctPlain, Kernel::FORWARD_DCT, PLAIN);
BENCHMARK_CAPTURE(TransformKernel, InverseDctSse2, Kernel::INVERSE_DCT, SSE2);
BENCHMARK_CAPTURE(TransformKernel, InverseDctPlain, Kernel::INVERSE_DCT, PLAIN);
BENCHMARK_CAPTURE(TransformKernel, QuantizeSse2, Kernel::QUANTIZE, SSE2);
BENCHMARK_CAPTURE(TransformKernel, QuantizePlain, Kernel::QUANTIZE, PLAIN);
BENCHMARK_CAPTURE(TransformKernel, DequantizeSse2, Kernel::DEQUANTIZE, SSE2);
BENCHMARK_CAPTURE(TransformKernel, DequantizePlain, Kernel::DEQUANTIZE, PLAIN);
// Forward transform with quantiser, dequantiser with inverse transform, on
// block pairs as the coders call them.
BENCHMARK_CAPTURE(TransformKernel, ForwardPairAvx2, Kernel::FORWARD_PAIR, AVX2);
BENCHMARK_CAPTURE(TransformKernel, ForwardPairSse2, Kernel::FORWARD_PAIR, SSE2);
BENCHMARK_CAPTURE(TransformKernel, ForwardPairPlain, Kernel::FORWARD_PAIR, PLAIN);
BENCHMARK_CAPTURE(TransformKernel, InversePairAvx2, Kernel::INVERSE_PAIR, AVX2);
BENCHMARK_CAPTURE(TransformKernel, InversePairSse2, Kernel::INVERSE_PAIR, SSE2);
BENCHMARK_CAPTURE(TransformKernel, InversePairPlain, Kernel::INVERSE_PAIR, PLAIN);
BENCHMARK_CAPTURE(Encode, MacroblockAvx2, AVX2);
BENCHMARK_CAPTURE(Encode, MacroblockSse2, SSE2);
BENCHMARK_CAPTURE(Encode, MacroblockPlain, PLAIN);
BENCHMARK_CAPTURE(Decode, MacroblockAvx2, AVX2);
BENCHMARK_CAPTURE(Decode, MacroblockSse2, SSE2);
BENCHMARK_CAPTURE(Decode, MacroblockPlain, PLAIN);

}  // namespace
