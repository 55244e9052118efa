// SPDX-License-Identifier: BSD-2-Clause
// Moving macroblocks between pictures and block buffers: time per macroblock
// for every load and store kernel of every tier. One band of a 1920-pixel
// picture, aligned, coded over and over (so it stays in cache except for the
// streaming stores, which write past it).
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "support/PixelStaging.h"

namespace {

constexpr int COLUMNS = 120;

struct Band {
    std::vector<uint8_t> memory;
    uint8_t* top;
    ptrdiff_t stride;
};

Band MakeBand(int bytesPerMacroblockLine)
{
    Band band;
    band.stride = ptrdiff_t(COLUMNS) * bytesPerMacroblockLine;
    band.memory.resize(8 * band.stride + 16);
    std::mt19937 random(1);
    FillRandom(band.memory.data(), band.memory.size(), &random);
    const uintptr_t address = reinterpret_cast<uintptr_t>(band.memory.data());
    band.top = band.memory.data() + (16 - address % 16) % 16;
    return band;
}

void PerMacroblock(benchmark::State& state)
{
    state.counters["per_macroblock"] =
        benchmark::Counter(COLUMNS, benchmark::Counter::kIsIterationInvariantRate |
                                        benchmark::Counter::kInvert);
}

void RunLoad(benchmark::State& state, LoadMacroblockFn load, int bytesPerMacroblockLine)
{
    const Band band = MakeBand(bytesPerMacroblockLine);
    alignas(32) MacroblockBuffer buffer;  // as the slice loops have it
    for (auto _ : state) {
        for (int c = 0; c < COLUMNS; ++c)
            load(TestStagingMasks(), band.top + c * bytesPerMacroblockLine, band.stride, &buffer);
        benchmark::DoNotOptimize(buffer);
    }
    PerMacroblock(state);
}

void RunStore(benchmark::State& state, StoreMacroblockFn store, int bytesPerMacroblockLine)
{
    Band band = MakeBand(bytesPerMacroblockLine);
    alignas(32) MacroblockBuffer buffer;  // as the slice loops have it
    std::mt19937 random(2);
    for (Block& block : buffer.block)
        for (int16_t& sample : block.v)
            sample = static_cast<int16_t>(random() % 300) - 20;
    for (auto _ : state) {
        for (int c = 0; c < COLUMNS; ++c)
            store(&buffer, band.top + c * bytesPerMacroblockLine, band.stride);
        benchmark::ClobberMemory();
    }
    PerMacroblock(state);
}

void RegisterSet(const KernelSet& set)
{
    const struct {
        const char* name;
        const PixelFormatKernels* kernels;
        bool alignedVariants;
    } formats[] = {{"UYVY", &set.kernels.uyvy, true},
                   {"BGR24", &set.kernels.bgr24, false},
                   {"BGR32", &set.kernels.bgr32, false}};
    for (const auto& f : formats) {
        const std::string prefix = std::string(f.name) + "/" + set.name + "/";
        const PixelFormatKernels k = *f.kernels;
        const int line = k.bytesPerMacroblockLine;
        benchmark::RegisterBenchmark((prefix + "load").c_str(), RunLoad, k.load, line);
        benchmark::RegisterBenchmark((prefix + "store").c_str(), RunStore, k.store, line);
        if (f.alignedVariants) {
            benchmark::RegisterBenchmark((prefix + "loadAligned").c_str(), RunLoad, k.loadAligned,
                                         line);
            benchmark::RegisterBenchmark((prefix + "storeAligned").c_str(), RunStore,
                                         k.storeAligned, line);
        }
    }
}

const bool registered = [] {
    for (const KernelSet& set : AllKernelSets())
        RegisterSet(set);
    return true;
}();

}  // namespace
