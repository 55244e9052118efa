#include "Commands.h"

#include "DemoClip.h"
#include "PictureInput.h"
#include "Pipeline.h"
#include "Progress.h"
#include "ToolError.h"

#include <algorithm>
#include <cstdio>
#include <thread>

namespace {

constexpr int64_t DEFAULT_BENCH_FRAMES = 24;
constexpr int64_t MAX_BENCH_FRAMES = 100;  // held in memory, coded and not

struct BenchClip {
    std::string description;
    int width = 0;
    int height = 0;
    std::vector<std::vector<uint8_t>> pictures;
    std::vector<std::vector<uint8_t>> coded;
};

BenchClip LoadClip(const Options& options, const PixelLayout& layout)
{
    const int64_t count = options.frames > 0 ? options.frames : DEFAULT_BENCH_FRAMES;
    if (count > MAX_BENCH_FRAMES)
        FailUsage("bench: the clip is held in memory; --frames may be " + std::to_string(MAX_BENCH_FRAMES) +
                  " at most");
    BenchClip clip;
    if (options.files.empty()) {
        DemoClip demo = OpenDemoClip(count);
        clip.description = "the built-in clip";
        clip.width = DEMO_WIDTH;
        clip.height = DEMO_HEIGHT;
        for (int64_t i = 0; i < count; ++i) {
            clip.pictures.emplace_back(PictureBytes(layout, clip.width, clip.height));
            RenderDemoFrame(demo, i, layout, clip.pictures.back().data());
        }
        return clip;
    }
    const std::string& path = options.files[0];
    PictureInput input = OpenPictureInput({path, options.inputFormat, options.size, options.pixFmt, options.rate});
    clip.description = path;
    clip.width = CodedWidth(options, path, input.width);
    clip.height = input.height;
    for (int64_t i = 0; i < count; ++i) {
        std::vector<uint8_t> picture(PictureBytes(layout, clip.width, clip.height));
        if (!ReadPicture(input, layout, clip.width, picture.data()))
            break;
        clip.pictures.push_back(std::move(picture));
    }
    if (clip.pictures.empty())
        Fail(path, "has no frames");
    return clip;
}

// Keeps every worker busy for about `seconds` in a few rounds and returns the
// frames per second of the fastest round: other load on the machine only
// ever slows a round down.
double Measure(int threads, double seconds, const std::function<void(int, FrameJob&)>& work)
{
    constexpr int ROUNDS = 5;
    double best = 0;
    for (int round = 0; round < ROUNDS; ++round) {
        const auto started = std::chrono::steady_clock::now();
        double finished = 0;
        PipelineSteps steps;
        steps.produce = [&](FrameJob&) { return SecondsSince(started) < seconds / ROUNDS; };
        steps.work = work;
        steps.consume = [&](FrameJob&) { finished = SecondsSince(started); };
        const int64_t frames = RunPipeline(threads, DefaultPipelineDepth(threads), steps);
        if (finished > 0)
            best = std::max(best, double(frames) / finished);
    }
    return best;
}

}  // namespace

int RunBench(const Options& options)
{
    const PixelLayout& layout = *FindPixelLayout(options.pix);
    BenchClip clip = LoadClip(options, layout);
    const size_t count = clip.pictures.size();
    const uint32_t capacity = MaxCodedBytes(clip.width, clip.height);
    uint64_t codedBytes = 0;
    {
        CodecSession encoder = OpenEncoder(layout, clip.width, clip.height, options.quality);
        for (const std::vector<uint8_t>& picture : clip.pictures) {
            std::vector<uint8_t> coded(capacity);
            coded.resize(EncodePicture(encoder, picture.data(), coded.data(), capacity));
            codedBytes += coded.size();
            clip.coded.push_back(std::move(coded));
        }
    }
    const double uncompressed = double(PictureBytes(PIXEL_LAYOUTS[0], clip.width, clip.height));
    const double averageBytes = double(codedBytes) / double(count);
    std::printf("qf25 bench: %zu frames of %s, %dx%d %s, %u cores\n", count, clip.description.c_str(), clip.width,
                clip.height, layout.name, std::thread::hardware_concurrency());
    std::printf("average frame %.0f bytes (%.1f:1 against 4:2:2)\n\n", averageBytes, uncompressed / averageBytes);
    std::printf("%-8s %8s %10s %10s\n", "", "threads", "frames/s", "Mpixel/s");

    std::vector<int> threadCounts = {1};
    if (WorkerCount(options) > 1)
        threadCounts.push_back(WorkerCount(options));
    const double megapixels = double(clip.width) * double(clip.height) / 1e6;
    for (const bool decoding : {false, true}) {
        for (const int threads : threadCounts) {
            std::vector<CodecSession> sessions;
            for (int i = 0; i < threads; ++i)
                sessions.push_back(decoding ? OpenDecoder(layout, clip.width, clip.height)
                                            : OpenEncoder(layout, clip.width, clip.height, options.quality));
            const double fps = Measure(threads, options.seconds, [&](int worker, FrameJob& job) {
                const size_t frame = size_t(job.number % int64_t(count));
                CodecSession& session = sessions[size_t(worker)];
                if (decoding) {
                    job.picture.resize(clip.pictures[frame].size());
                    const std::vector<uint8_t>& coded = clip.coded[frame];
                    if (DecodePicture(session, coded.data(), uint32_t(coded.size()), job.picture.data()) !=
                        DecodeOutcome::GOOD)
                        Fail("", "frame " + std::to_string(frame) + " did not decode");
                } else {
                    job.coded.resize(capacity);
                    if (EncodePicture(session, clip.pictures[frame].data(), job.coded.data(), capacity) == 0)
                        Fail("", "frame " + std::to_string(frame) + " did not fit");
                }
            });
            std::printf("%-8s %8d %10.1f %10.1f\n", decoding ? "decode" : "encode", threads, fps, fps * megapixels);
            std::fflush(stdout);
        }
    }
    return EXIT_OK;
}
