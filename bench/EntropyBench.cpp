// Block encoder and decoder, fast against plain, on photograph-like quantised
// blocks; the counter "block" is the time per block. Buffers are made once;
// nothing is allocated per block.
#include <benchmark/benchmark.h>

#include <vector>

#include "support/CoefficientBlocks.h"
#include "support/EntropyTwins.h"

namespace {

constexpr int BLOCKS = 4096;  // most of a 720x486 field: too many for the branch predictor to learn

struct EntropyBenchData {
    std::unique_ptr<CodecInstance> tables;
    std::vector<Block> blocks;
    std::vector<uint8_t> stream;
};

EntropyBenchData MakeBenchData(int quality)
{
    EntropyBenchData data{MakeEntropyTables(), std::vector<Block>(BLOCKS),
                          std::vector<uint8_t>(BLOCKS * MAX_BLOCK_BYTES + 64)};
    TestRandom random{2024};
    for (Block& b : data.blocks)
        MakePhotoBlock(&random, &b, quality);
    BitWriter w;
    Reset(&w, data.stream.data(), uint32_t(data.stream.size()));
    for (const Block& b : data.blocks)
        EncodeBlockPlain(&b, data.tables.get(), &w);
    data.stream.resize(BytesUsed(&w) + 64);
    return data;
}

void SetBlockCounters(benchmark::State& state, const EntropyBenchData& data)
{
    state.SetItemsProcessed(int64_t(state.iterations()) * BLOCKS);
    state.counters["block"] = benchmark::Counter(double(BLOCKS), benchmark::Counter::kIsIterationInvariantRate |
                                                                     benchmark::Counter::kInvert);
    state.counters["bits/block"] = double(data.stream.size() - 64) * 8 / BLOCKS;
}

void EncodeBlocks(benchmark::State& state, const EntropyKernels& kernels)
{
    EntropyBenchData data = MakeBenchData(int(state.range(0)));
    for (auto _ : state) {
        BitWriter w;
        Reset(&w, data.stream.data(), uint32_t(data.stream.size()));
        for (const Block& b : data.blocks)
            kernels.encodeBlock(&b, data.tables.get(), &w);
        benchmark::DoNotOptimize(w.position);
        benchmark::ClobberMemory();
    }
    SetBlockCounters(state, data);
}

void DecodeBlocks(benchmark::State& state, const EntropyKernels& kernels)
{
    const EntropyBenchData data = MakeBenchData(int(state.range(0)));
    Block decoded;
    for (auto _ : state) {
        BitReader r;
        Reset(&r, data.stream.data(), uint32_t(data.stream.size()));
        for (int i = 0; i < BLOCKS; ++i) {
            kernels.decodeBlock(&r, &decoded);
            benchmark::DoNotOptimize(decoded);
        }
    }
    SetBlockCounters(state, data);
}

void EncodeBlockPlainBench(benchmark::State& state)
{
    EncodeBlocks(state, PlainEntropyKernels());
}

void EncodeBlockFastBench(benchmark::State& state)
{
    EncodeBlocks(state, FastEntropyKernels());
}

void DecodeBlockPlainBench(benchmark::State& state)
{
    DecodeBlocks(state, PlainEntropyKernels());
}

void DecodeBlockFastBench(benchmark::State& state)
{
    DecodeBlocks(state, FastEntropyKernels());
}

}  // namespace

// Argument: the quality the blocks were quantised at.
BENCHMARK(EncodeBlockPlainBench)->Arg(50)->Arg(95);
BENCHMARK(EncodeBlockFastBench)->Arg(50)->Arg(95);
BENCHMARK(DecodeBlockPlainBench)->Arg(50)->Arg(95);
BENCHMARK(DecodeBlockFastBench)->Arg(50)->Arg(95);
