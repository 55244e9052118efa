// SPDX-License-Identifier: BSD-2-Clause
// Fields per second through EncodeField, and frames per second through
// DecodeField (both fields, so that the hand-off between them counts), on a
// photograph, per pixel layout; decoding on the instance's four workers
// against all four slices decoded one after another on the caller's thread.
#include <benchmark/benchmark.h>

#include "codec/CodecInstance.h"
#include "codec/FieldCoder.h"
#include "support/Photo.h"

namespace {

struct Setup {
    Picture photo;
    InstancePtr instance;
    std::vector<uint8_t> frame;
};

Setup Prepare(uint32_t format, int width, int height)
{
    Setup s{ScaledPhoto(format, width, height, false), nullptr, {}};
    s.instance = MakeInstance(s.photo, 95);
    s.frame = EncodeFrame(s.instance.get(), s.photo);
    return s;
}

void Encode(benchmark::State& state, uint32_t format, int width, int height)
{
    Setup s = Prepare(format, width, height);
    std::vector<uint8_t> buffer(size_t(width) * height * 6);
    const ptrdiff_t stride = 2 * ptrdiff_t(LineBytes(s.photo));
    for (auto _ : state) {
        benchmark::DoNotOptimize(EncodeField(s.instance.get(), buffer.data(), uint32_t(buffer.size()),
                                             s.photo.bytes.data(), stride, 0));
    }
    state.counters["fields/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["bytes"] = double(s.frame.size());
}

// With 4 slice threads the instance's workers decode; with 1 the calling
// thread decodes all four slices.
void Decode(benchmark::State& state, uint32_t format, int width, int height, int32_t sliceThreads)
{
    Setup s = Prepare(format, width, height);
    s.instance->sliceThreads = sliceThreads;
    for (auto _ : state)
        DecodeFrame(s.instance.get(), s.frame, &s.photo);
    state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK_CAPTURE(Encode, uyvy_1920x1080, PIXEL_FORMAT_UYVY, 1920, 1080)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Decode, uyvy_1920x1080_4workers, PIXEL_FORMAT_UYVY, 1920, 1080, 4)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Decode, uyvy_1920x1080_1thread, PIXEL_FORMAT_UYVY, 1920, 1080, 1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Encode, uyvy_720x486, PIXEL_FORMAT_UYVY, 720, 486)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Decode, uyvy_720x486_4workers, PIXEL_FORMAT_UYVY, 720, 486, 4)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Decode, uyvy_720x486_1thread, PIXEL_FORMAT_UYVY, 720, 486, 1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Encode, bgr24_1920x1080, PIXEL_FORMAT_BGR24, 1920, 1080)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Decode, bgr24_1920x1080_4workers, PIXEL_FORMAT_BGR24, 1920, 1080, 4)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Encode, bgr32_1920x1080, PIXEL_FORMAT_BGR32, 1920, 1080)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Decode, bgr32_1920x1080_4workers, PIXEL_FORMAT_BGR32, 1920, 1080, 4)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
