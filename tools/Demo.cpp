// SPDX-License-Identifier: BSD-2-Clause
#include "Commands.h"

#include "DemoClip.h"
#include "Interrupt.h"
#include "OutputFile.h"
#include "ToolError.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr int64_t DEFAULT_DEMO_FRAMES = 30;
constexpr int64_t MAX_DEMO_FRAMES = 100;  // the clip is held in memory: 4 MB a frame

// Squared differences of Y, Cb and Cr samples between two UYVY pictures.
struct ErrorTotals {
    uint64_t squared[3] = {};  // Y, Cb, Cr
    uint64_t samples[3] = {};
};

void AddErrors(ErrorTotals& totals, const uint8_t* original, const uint8_t* decoded, size_t bytes)
{
    uint64_t luma = 0;
    uint64_t cb = 0;
    uint64_t cr = 0;
    for (size_t i = 0; i + 4 <= bytes; i += 4) {
        const auto square = [&](size_t at) {
            const int difference = int(original[at]) - int(decoded[at]);
            return uint64_t(difference * difference);
        };
        cb += square(i);
        luma += square(i + 1) + square(i + 3);
        cr += square(i + 2);
    }
    totals.squared[0] += luma;
    totals.squared[1] += cb;
    totals.squared[2] += cr;
    totals.samples[0] += bytes / 2;
    totals.samples[1] += bytes / 4;
    totals.samples[2] += bytes / 4;
}

double Psnr(uint64_t squared, uint64_t samples)
{
    return squared == 0 ? INFINITY : 10.0 * std::log10(255.0 * 255.0 * double(samples) / double(squared));
}

// Original on the left, decoded on the right, as one PNG.
void WriteSideBySide(const std::string& path, const uint8_t* original, const uint8_t* decoded)
{
    FramePtr frame(av_frame_alloc());
    frame->width = 2 * DEMO_WIDTH;
    frame->height = DEMO_HEIGHT;
    frame->format = AV_PIX_FMT_RGB24;
    PictureConverter converter;
    PrepareConverter(converter, {AV_PIX_FMT_UYVY422, DEMO_WIDTH, DEMO_HEIGHT, DEMO_MATRIX, false},
                     {AV_PIX_FMT_RGB24, DEMO_WIDTH, DEMO_HEIGHT, DEMO_MATRIX, false}, true);
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
    CodecContext encoder(codec == nullptr ? nullptr : avcodec_alloc_context3(codec));
    if (av_frame_get_buffer(frame.get(), 0) < 0 || encoder == nullptr)
        Fail(path, "cannot set up the PNG encoder");
    for (int half = 0; half < 2; ++half) {
        const uint8_t* planes[4] = {half == 0 ? original : decoded, nullptr, nullptr, nullptr};
        const int strides[4] = {DEMO_WIDTH * 2, 0, 0, 0};
        uint8_t* target[4] = {frame->data[0] + half * DEMO_WIDTH * 3, nullptr, nullptr, nullptr};
        RunConverter(converter, planes, strides, target, frame->linesize);
    }
    encoder->width = frame->width;
    encoder->height = frame->height;
    encoder->pix_fmt = AV_PIX_FMT_RGB24;
    encoder->time_base = {1, 1};
    PacketPtr packet(av_packet_alloc());
    if (avcodec_open2(encoder.get(), codec, nullptr) < 0 || avcodec_send_frame(encoder.get(), frame.get()) < 0 ||
        avcodec_receive_packet(encoder.get(), packet.get()) < 0)
        Fail(path, "the PNG encoder failed");

    OutputFile file = PrepareOutput(path, {});
    FILE* out = std::fopen(file.writePath.c_str(), "wb");
    if (out == nullptr)
        Fail(path, std::strerror(errno));
    const bool written = std::fwrite(packet->data, 1, size_t(packet->size), out) == size_t(packet->size);
    if (std::fclose(out) != 0 || !written)
        Fail(path, std::string("cannot write: ") + std::strerror(errno));
    CommitOutput(file);
}

}  // namespace

int RunDemo(const Options& options)
{
    const int64_t frames = options.frames > 0 ? options.frames : DEFAULT_DEMO_FRAMES;
    if (frames > MAX_DEMO_FRAMES)
        FailUsage("demo: the clip is held in memory; --frames may be " + std::to_string(MAX_DEMO_FRAMES) + " at most");
    const PixelLayout& layout = PIXEL_LAYOUTS[0];
    const size_t pictureBytes = PictureBytes(layout, DEMO_WIDTH, DEMO_HEIGHT);
    const std::string aviPath = options.outDir + "/qf25-demo.avi";
    const std::string pngPath = options.outDir + "/qf25-demo.png";
    const int threads = WorkerCount(options);

    // Rendered ahead, so that the speeds below are the codec's and the file's.
    DemoClip clip = OpenDemoClip(frames);
    std::vector<std::vector<uint8_t>> pictures;
    for (int64_t i = 0; i < frames; ++i) {
        pictures.emplace_back(pictureBytes);
        RenderDemoFrame(clip, i, layout, pictures.back().data());
    }
    std::printf("qf25 demo: %lld frames of 1920x1080 interlaced video at %d frames/s, even lines first,\n"
                "           panned across the built-in %dx%d photograph\n",
                static_cast<long long>(frames), DEMO_RATE.num / DEMO_RATE.den, clip.sourceWidth, clip.sourceHeight);
    std::fflush(stdout);

    PictureSource source;
    source.width = DEMO_WIDTH;
    source.height = DEMO_HEIGHT;
    source.rate = DEMO_RATE;
    source.colour.matrix = DEMO_MATRIX;
    source.expectedFrames = frames;
    size_t next = 0;
    source.read = [&](uint8_t* picture) {
        if (next == pictures.size())
            return false;
        std::memcpy(picture, pictures[next++].data(), pictureBytes);
        return true;
    };
    EncodeSettings settings;
    settings.out = aviPath;
    settings.layout = &layout;
    settings.quality = options.quality;
    settings.threads = threads;
    settings.quiet = options.quiet;
    const RunReport encoded = EncodeToFile(source, settings);
    if (encoded.interrupted)
        return EXIT_INTERRUPTED;

    CodedInput input = OpenCodedInput(aviPath, "");
    DecodeSettings decodeSettings;
    decodeSettings.layout = &layout;
    decodeSettings.threads = threads;
    decodeSettings.quiet = options.quiet;
    ErrorTotals errors;
    const size_t shown = size_t(frames / 2);
    std::vector<uint8_t> shownDecoded;
    size_t index = 0;
    const RunReport decoded = DecodeStream(input, decodeSettings, [&](const uint8_t* picture, int64_t) {
        if (index < pictures.size())
            AddErrors(errors, pictures[index].data(), picture, pictureBytes);
        if (index == shown)
            shownDecoded.assign(picture, picture + pictureBytes);
        ++index;
    });
    if (decoded.interrupted)
        return EXIT_INTERRUPTED;
    if (index != pictures.size() || !decoded.damaged.empty())
        Fail(aviPath, "decoded " + std::to_string(index) + " good frames of " + std::to_string(pictures.size()));
    WriteSideBySide(pngPath, pictures[shown].data(), shownDecoded.data());

    const double uncompressed = double(pictureBytes) * double(frames);
    std::printf("encoded    %s: %.1f MB, %.0f KB a frame, %.1f:1 against uncompressed 4:2:2\n", aviPath.c_str(),
                double(encoded.bytes) / 1e6, double(encoded.bytes) / double(frames) / 1e3,
                uncompressed / double(encoded.bytes));
    std::printf("decoded    PSNR Y %.2f dB, Cb %.2f dB, Cr %.2f dB, all %.2f dB\n",
                Psnr(errors.squared[0], errors.samples[0]), Psnr(errors.squared[1], errors.samples[1]),
                Psnr(errors.squared[2], errors.samples[2]),
                Psnr(errors.squared[0] + errors.squared[1] + errors.squared[2],
                     errors.samples[0] + errors.samples[1] + errors.samples[2]));
    std::printf("speed      encode %.1f frames/s, decode %.1f frames/s, %d codec instance%s at once\n",
                double(frames) / encoded.seconds, double(frames) / decoded.seconds, threads, threads == 1 ? "" : "s");
    std::printf("picture    %s: frame %zu, original left, decoded right\n", pngPath.c_str(), shown);
    return EXIT_OK;
}
