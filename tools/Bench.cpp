// SPDX-License-Identifier: BSD-2-Clause
#include "Commands.h"

#include "BenchClip.h"
#include "ToolError.h"

#include <cstdio>
#include <thread>

namespace {

constexpr double BENCH_SECONDS = 2.0;  // a measurement's default time

struct BenchRow {
    BenchRun run;
    int threads;  // threads decoding or encoding
    std::string what;
};

std::vector<BenchRow> BenchRows(int instances)
{
    const std::string many = std::to_string(instances) + " instances at once";
    std::vector<BenchRow> rows = {{{BenchStep::ENCODE, 1, SliceThreads::CALLER}, 1, "one instance"}};
    if (instances > 1)
        rows.push_back({{BenchStep::ENCODE, instances, SliceThreads::CALLER}, instances, many});
    rows.push_back({{BenchStep::DECODE, 1, SliceThreads::CALLER}, 1, "one instance, slices on the calling thread"});
    rows.push_back({{BenchStep::DECODE, 1, SliceThreads::WORKERS}, 4, "one instance, slices on its 4 workers"});
    if (instances > 1)
        rows.push_back({{BenchStep::DECODE, instances, SliceThreads::CALLER}, instances,
                        many + ", each decoding on its own thread"});
    return rows;
}

}  // namespace

int RunBench(const Options& options)
{
    if (options.peers)
        return RunPeerBench(options);
    if (options.quick)
        FailUsage("bench: --quick shortens --peers only");
    const PixelLayout& layout = *FindPixelLayout(options.pix);
    const BenchClip clip = LoadBenchClip(options, layout, 0, 0);
    const PeerCodec& qf25 = PEER_CODECS[0];
    const CodedClip coded = CodeClip(qf25, clip, options.quality);
    const size_t count = clip.pictures.size();
    const double uncompressed = double(PictureBytes(PIXEL_LAYOUTS[0], clip.width, clip.height));
    const double averageBytes = double(coded.bytes) / double(count);
    std::printf("qf25 bench: %zu frames of %s, %dx%d %s, %u cores\n", count, clip.description.c_str(), clip.width,
                clip.height, layout.name, std::thread::hardware_concurrency());
    std::printf("average frame %.0f bytes (%.1f:1 against 4:2:2), PSNR %.2f dB, SSIM %.4f\n\n", averageBytes,
                uncompressed / averageBytes, coded.psnr, coded.ssim);
    std::printf("%-8s %8s %10s %10s %12s\n", "", "threads", "frames/s", "Mpixel/s", "ns/block");

    const int instances = WorkerCount(options);
    const double seconds = options.seconds > 0 ? options.seconds : BENCH_SECONDS;
    const double megapixels = double(clip.width) * double(clip.height) / 1e6;
    // 8x8 blocks a frame: four per macroblock of 16 pixels by 8 lines of a
    // field, a last band shorter than eight lines coded whole.
    const double blocks = 4.0 * 2 * double(clip.width / 16) * double((clip.height + 15) / 16);
    double oneThread[2] = {};
    double allCores[2] = {};
    for (const BenchRow& row : BenchRows(instances)) {
        const double fps = MeasureCodec(qf25, clip, coded, row.run, options.quality, seconds);
        const int step = row.run.step == BenchStep::DECODE;
        if (row.threads == 1)
            oneThread[step] = fps;
        else if (row.run.instances > 1)
            allCores[step] = fps;
        // Elapsed time per block: on one thread, what a block costs.
        std::printf("%-8s %8d %10.1f %10.1f %12.1f   %s\n", step ? "decode" : "encode", row.threads, fps,
                    fps * megapixels, 1e9 / (fps * blocks), row.what.c_str());
        std::fflush(stdout);
    }
    if (instances > 1)
        std::printf("\n%d instances against one thread: encode %.2f times, decode %.2f times\n", instances,
                    allCores[0] / oneThread[0], allCores[1] / oneThread[1]);
    return EXIT_OK;
}
