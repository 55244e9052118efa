// SPDX-License-Identifier: BSD-2-Clause
#include "BenchClip.h"

#include "Commands.h"
#include "DemoClip.h"
#include "PictureInput.h"
#include "Pipeline.h"
#include "Progress.h"
#include "Ssim.h"
#include "ToolError.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int64_t DEFAULT_BENCH_FRAMES = 24;
constexpr int64_t MAX_BENCH_FRAMES = 100;  // held in memory, coded and not
constexpr int ROUNDS = 5;

std::vector<uint8_t> NewPicture(const PixelLayout& layout, int width, int height)
{
    return std::vector<uint8_t>(PictureBytes(layout, width, height) + PEER_PADDING);
}

// The built-in clip, rendered at its own size and scaled when another is asked for.
void LoadDemoClip(BenchClip& clip, int64_t count)
{
    DemoClip demo = OpenDemoClip(count);
    clip.description = "the built-in clip";
    const bool scaled = clip.width != DEMO_WIDTH || clip.height != DEMO_HEIGHT;
    const PixelLayout& bgr24 = PIXEL_LAYOUTS[1];
    std::vector<uint8_t> rendered(scaled ? PictureBytes(bgr24, DEMO_WIDTH, DEMO_HEIGHT) : 0);
    ScalerPtr scaler(scaled ? sws_getContext(DEMO_WIDTH, DEMO_HEIGHT, bgr24.avFormat, clip.width, clip.height,
                                             clip.layout->avFormat, SWS_BICUBIC | SWS_ACCURATE_RND, nullptr,
                                             nullptr, nullptr)
                            : nullptr);
    if (scaled && scaler == nullptr)
        Fail("", "libswscale cannot scale the built-in clip to " + std::to_string(clip.width) + "x" +
                     std::to_string(clip.height));
    for (int64_t i = 0; i < count; ++i) {
        clip.pictures.push_back(NewPicture(*clip.layout, clip.width, clip.height));
        if (!scaled) {
            RenderDemoFrame(demo, i, *clip.layout, clip.pictures.back().data());
            continue;
        }
        RenderDemoFrame(demo, i, bgr24, rendered.data());
        const uint8_t* from = rendered.data();
        const int fromStride = int(LineBytes(bgr24, DEMO_WIDTH));
        uint8_t* to = clip.pictures.back().data();
        const int toStride = int(LineBytes(*clip.layout, clip.width));
        sws_scale(scaler.get(), &from, &fromStride, 0, DEMO_HEIGHT, &to, &toStride);
    }
}

void LoadFile(BenchClip& clip, const Options& options, int64_t count)
{
    const std::string& path = options.files[0];
    PictureInput input =
        OpenPictureInput({path, options.inputFormat, options.size, options.pixFmt, options.rate, std::nullopt});
    clip.description = path;
    clip.width = CodedWidth(options, path, input.width);
    clip.height = input.height;
    for (int64_t i = 0; i < count; ++i) {
        std::vector<uint8_t> picture = NewPicture(*clip.layout, clip.width, clip.height);
        if (!ReadPicture(input, *clip.layout, clip.width, picture.data()))
            break;
        clip.pictures.push_back(std::move(picture));
    }
    if (clip.pictures.empty())
        Fail(path, "has no frames");
}

uint64_t SquaredError(const PixelLayout& layout, const uint8_t* a, const uint8_t* b, size_t size)
{
    uint64_t sum = 0;
    for (size_t i = 0; i < size; ++i) {
        if (layout.bitCount == 32 && i % 4 == 3)
            continue;
        const int difference = int(a[i]) - int(b[i]);
        sum += uint64_t(difference * difference);
    }
    return sum;
}

// Keeps every worker busy for a round of seconds / ROUNDS; frames per second
// of the fastest round.
double Measure(int threads, double seconds, const std::function<void(int, FrameJob&)>& work)
{
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

BenchClip LoadBenchClip(const Options& options, const PixelLayout& layout, int width, int height)
{
    const int64_t count = options.frames > 0 ? options.frames : DEFAULT_BENCH_FRAMES;
    if (count > MAX_BENCH_FRAMES)
        FailUsage("bench: the clip is held in memory; --frames may be " + std::to_string(MAX_BENCH_FRAMES) +
                  " at most");
    BenchClip clip;
    clip.layout = &layout;
    clip.width = width > 0 ? width : DEMO_WIDTH;
    clip.height = height > 0 ? height : DEMO_HEIGHT;
    if (options.files.empty())
        LoadDemoClip(clip, count);
    else
        LoadFile(clip, options, count);
    if (layout.bitCount == 16 && options.peers) {
        for (const std::vector<uint8_t>& picture : clip.pictures) {
            clip.planes.push_back(NewPicture(layout, clip.width, clip.height));
            UyvyToPlanes(picture.data(), clip.width, clip.height, clip.planes.back().data());
            const size_t samples = PictureBytes(layout, clip.width, clip.height);
            clip.widePlanes.emplace_back(2 * samples + PEER_PADDING);
            WidenPlanes(clip.planes.back().data(), samples, 2, clip.widePlanes.back().data());
        }
    }
    return clip;
}

const std::vector<std::vector<uint8_t>>& InputsFor(const PeerCodec& codec, const BenchClip& clip)
{
    return TakesPlanes(codec, *clip.layout) && SampleShift(codec) > 0 ? clip.widePlanes
                                                                      : ReferencesFor(codec, clip);
}

const std::vector<std::vector<uint8_t>>& ReferencesFor(const PeerCodec& codec, const BenchClip& clip)
{
    return TakesPlanes(codec, *clip.layout) ? clip.planes : clip.pictures;
}

CodedClip CodeClip(const PeerCodec& codec, const BenchClip& clip, int level)
{
    const PixelLayout& layout = *clip.layout;
    PeerSession encoder = OpenPeerEncoder(codec, layout, clip.width, clip.height, level);
    PeerSession decoder = OpenPeerDecoder(codec, layout, clip.width, clip.height, SliceThreads::WORKERS);
    std::vector<uint8_t> decoded(PictureBytes(layout, clip.width, clip.height));
    CodedClip coded;
    uint64_t squaredError = 0;
    uint64_t samples = 0;
    const std::vector<std::vector<uint8_t>>& inputs = InputsFor(codec, clip);
    SsimMeter ssim = OpenSsimMeter(TakesPlanes(codec, layout) ? AV_PIX_FMT_YUV422P : layout.avFormat, clip.width,
                                   clip.height);
    for (size_t i = 0; i < inputs.size(); ++i) {
        const std::span<const uint8_t> frame = PeerEncode(encoder, inputs[i].data());
        coded.frames.emplace_back(frame.begin(), frame.end());
        coded.frames.back().resize(frame.size() + PEER_PADDING);
        coded.sizes.push_back(frame.size());
        coded.bytes += frame.size();
        PeerDecode(decoder, coded.frames.back().data(), frame.size());
        CopyDecoded(decoder, decoded.data());
        const uint8_t* original = ReferencesFor(codec, clip)[i].data();
        squaredError += SquaredError(layout, original, decoded.data(), decoded.size());
        AddSsimPictures(ssim, original, decoded.data());
        samples += layout.bitCount == 32 ? decoded.size() / 4 * 3 : decoded.size();
    }
    coded.psnr = squaredError == 0 ? INFINITY
                                   : 10.0 * std::log10(255.0 * 255.0 * double(samples) / double(squaredError));
    coded.ssim = MeanSsim(ssim);
    return coded;
}

double MeasureCodec(const PeerCodec& codec, const BenchClip& clip, const CodedClip& coded, const BenchRun& run,
                    int level, double seconds)
{
    std::vector<PeerSession> sessions;
    for (int i = 0; i < run.instances; ++i)
        sessions.push_back(run.step == BenchStep::DECODE
                               ? OpenPeerDecoder(codec, *clip.layout, clip.width, clip.height, run.slices)
                               : OpenPeerEncoder(codec, *clip.layout, clip.width, clip.height, level));
    const std::vector<std::vector<uint8_t>>& inputs = InputsFor(codec, clip);
    return Measure(run.instances, seconds, [&](int worker, FrameJob& job) {
        const size_t frame = size_t(job.number % int64_t(inputs.size()));
        PeerSession& session = sessions[size_t(worker)];
        if (run.step == BenchStep::DECODE)
            PeerDecode(session, coded.frames[frame].data(), coded.sizes[frame]);
        else
            PeerEncode(session, inputs[frame].data());
    });
}
