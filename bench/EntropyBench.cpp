// SPDX-License-Identifier: BSD-2-Clause
// Block encoder and decoder, every tier, on photograph-like quantised blocks
// at qualities 50 and 95 and on the blocks of the first field of the 1920x1080
// photograph at quality 95; the counters "block" and "coefficient" are the
// time per block and per coded coefficient (the DC and each non-zero value).
// Buffers are made once; nothing is allocated per block.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/CoefficientBlocks.h"
#include "support/EntropyTwins.h"
#include "support/Photo.h"

namespace {

constexpr int SYNTHETIC_BLOCKS = 4096;  // most of a 720x486 field: too many for the branch predictor to learn

struct EntropyBenchData {
    std::unique_ptr<EntropyTables> tables;
    std::vector<Block> blocks;  // natural order
    std::vector<uint8_t> stream;
};

void EncodeStream(EntropyBenchData* data)
{
    data->stream.assign(data->blocks.size() * MAX_BLOCK_BYTES + 64, 0);
    BitWriter w;
    Reset(&w, data->stream.data(), uint32_t(data->stream.size()));
    for (const Block& b : data->blocks)
        EncodeNaturalBlockPlain(&b, data->tables.get(), &w);
    data->stream.resize(BytesUsed(&w) + 64);
}

EntropyBenchData MakeSyntheticData(int quality)
{
    EntropyBenchData data{MakeEntropyTables(), std::vector<Block>(SYNTHETIC_BLOCKS), {}};
    TestRandom random{2024};
    for (Block& b : data.blocks) {
        Block scan;
        MakePhotoBlock(&random, &scan, quality);
        b = NaturalOrder(scan);
    }
    EncodeStream(&data);
    return data;
}

// The blocks of the four slices of field 0, read back from the coded frame.
EntropyBenchData MakePhotoData()
{
    const Picture photo = ScaledPhoto(PIXEL_FORMAT_UYVY, 1920, 1080, false);
    const InstancePtr instance = MakeInstance(photo, 95);
    const std::vector<uint8_t> frame = EncodeFrame(instance.get(), photo);
    EntropyBenchData data{MakeEntropyTables(), {}, {}};
    uint32_t offset = 4;
    for (int slice = 0; slice < 4; ++slice) {
        const uint32_t length = LoadLE24(frame.data() + offset);
        BitReader r;
        Reset(&r, frame.data() + offset, length);
        SetPosition(&r, 24);
        // Fewer than 17 bits left are the slice's fill bits.
        while (r.position + 17 <= length * 8) {
            data.blocks.emplace_back();
            DecodeBlockPlain(&r, &data.blocks.back());
        }
        offset += length;
    }
    EncodeStream(&data);
    return data;
}

constexpr int PHOTO = 0;  // content argument: the photograph's blocks, else a quality

EntropyBenchData MakeBenchData(int content)
{
    return content == PHOTO ? MakePhotoData() : MakeSyntheticData(content);
}

// Coded coefficients: every DC and the non-zero AC values, each one code.
double CodedCoefficients(const EntropyBenchData& data)
{
    double count = 0;
    for (const Block& b : data.blocks)
        count += 1 + double(std::count_if(b.v + 1, b.v + 64, [](int16_t v) { return v != 0; }));
    return count;
}

void SetBlockCounters(benchmark::State& state, const EntropyBenchData& data)
{
    const double blocks = double(data.blocks.size());
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(data.blocks.size()));
    const auto PER_ITEM = benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert;
    state.counters["block"] = benchmark::Counter(blocks, PER_ITEM);
    state.counters["coefficient"] = benchmark::Counter(CodedCoefficients(data), PER_ITEM);
    state.counters["bits/block"] = double(data.stream.size() - 64) * 8 / blocks;
}

bool TierRuns(benchmark::State& state, uint32_t cpuFlags)
{
    if ((cpuFlags & CPU_FEATURE_AVX2) && !(DetectedCpuFlags() & CPU_FEATURE_AVX2)) {
        state.SkipWithError("the processor has no AVX2");
        return false;
    }
    return true;
}

void EncodeBlocks(benchmark::State& state, uint32_t cpuFlags, int content)
{
    if (!TierRuns(state, cpuFlags))
        return;
    const EntropyKernels kernels = EntropyKernelsFor(cpuFlags);
    EntropyBenchData data = MakeBenchData(content);
    for (auto _ : state) {
        BitWriter w;
        Reset(&w, data.stream.data(), uint32_t(data.stream.size()));
        // Four blocks a call, as the coder takes a macroblock's.
        const int count = int(data.blocks.size());
        for (int k = 0; k < count; k += 4)
            kernels.encodeNaturalBlocks(&data.blocks[k], std::min(4, count - k), data.tables.get(), &w);
        benchmark::DoNotOptimize(w.position);
        benchmark::ClobberMemory();
    }
    SetBlockCounters(state, data);
}

void DecodeBlocks(benchmark::State& state, uint32_t cpuFlags, int content)
{
    if (!TierRuns(state, cpuFlags))
        return;
    const EntropyKernels kernels = EntropyKernelsFor(cpuFlags);
    const EntropyBenchData data = MakeBenchData(content);
    Block decoded;
    for (auto _ : state) {
        BitReader r;
        Reset(&r, data.stream.data(), uint32_t(data.stream.size()));
        for (size_t i = 0; i < data.blocks.size(); ++i) {
            kernels.decodeBlocks(&r, &decoded, 1);
            benchmark::DoNotOptimize(decoded);
        }
    }
    SetBlockCounters(state, data);
}

const bool REGISTERED = [] {
    constexpr uint32_t SSE2 = CPU_FEATURE_MMX | CPU_FEATURE_SSE | CPU_FEATURE_SSE2;
    const std::pair<const char*, uint32_t> tiers[] = {{"Plain", 0}, {"Sse2", SSE2}, {"Avx2", SSE2 | CPU_FEATURE_AVX2}};
    const std::pair<const char*, int> contents[] = {{"q50", 50}, {"q95", 95}, {"photo", PHOTO}};
    using Run = void (*)(benchmark::State&, uint32_t, int);
    const std::pair<const char*, Run> directions[] = {{"EncodeBlock", EncodeBlocks}, {"DecodeBlock", DecodeBlocks}};
    for (const auto& [direction, run] : directions) {
        for (const auto& [tier, flags] : tiers) {
            for (const auto& [content, argument] : contents) {
                const std::string name = std::string(direction) + "/" + tier + "/" + content;
                benchmark::RegisterBenchmark(name.c_str(), run, flags, argument);
            }
        }
    }
    return true;
}();

}  // namespace
