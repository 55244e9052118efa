// SPDX-License-Identifier: BSD-2-Clause
#include "Commands.h"

#include "CodedOutput.h"
#include "Interrupt.h"
#include "OutputFile.h"
#include "Pipeline.h"
#include "PictureInput.h"
#include "Progress.h"
#include "ToolError.h"

#include <cstdio>

int CodedWidth(const Options& options, const std::string& path, int width)
{
    if (width % WIDTH_MULTIPLE == 0)
        return width;
    const int cropped = width / WIDTH_MULTIPLE * WIDTH_MULTIPLE;
    const int padded = cropped + WIDTH_MULTIPLE;
    if (options.crop && cropped > 0)
        return cropped;
    if (options.pad)
        return padded;
    Fail(path, "the width " + std::to_string(width) + " is not a multiple of 16; add --crop (to " +
                   std::to_string(cropped) + ") or --pad (to " + std::to_string(padded) + ")");
}

namespace {

// Black pictures before the first, for sound that starts earlier.
void WriteLeadIn(CodedOutput& output, const PictureSource& source, const EncodeSettings& settings, int64_t count)
{
    CodecSession session = OpenEncoder(*settings.layout, source.width, source.height, settings.quality);
    std::vector<uint8_t> picture(PictureBytes(*settings.layout, source.width, source.height));
    FillBlack(*settings.layout, source.width, source.height, picture.data());
    std::vector<uint8_t> coded(MaxCodedBytes(source.width, source.height));
    const uint32_t size = EncodePicture(session, picture.data(), coded.data(), uint32_t(coded.size()));
    for (int64_t i = 0; i < count; ++i)
        WriteCodedFrame(output, coded.data(), size);
}

}  // namespace

CarryOptions CarryOptionsOf(const Options& options)
{
    return {options.noAudio, options.noStreams, options.audioCodec, options.quiet};
}

RunReport EncodeToFile(const PictureSource& source, const EncodeSettings& settings)
{
    OutputFile file = PrepareOutput(settings.out, settings.inputs);
    CodedStreamInfo stream = {settings.layout, source.width, source.height, source.rate, source.sampleAspect};
    StreamCarrier* carrier = settings.carrier;
    CodedOutput output = OpenCodedOutput(settings.out, file.writePath, settings.formatName, stream, carrier);
    std::vector<CodecSession> sessions;
    for (int i = 0; i < settings.threads; ++i)
        sessions.push_back(OpenEncoder(*settings.layout, source.width, source.height, settings.quality));
    const uint32_t capacity = MaxCodedBytes(source.width, source.height);
    const size_t pictureBytes = PictureBytes(*settings.layout, source.width, source.height);

    const int64_t expected = CappedFrameCount(source.expectedFrames, settings.frameLimit);
    Progress progress = StartProgress("encoding", expected, settings.quiet);
    PipelineSteps steps;
    steps.produce = [&](FrameJob& job) {
        if (Interrupted() || (settings.frameLimit > 0 && job.number >= settings.frameLimit))
            return false;
        job.picture.resize(pictureBytes);
        return source.read(job.picture.data());
    };
    steps.work = [&](int worker, FrameJob& job) {
        job.coded.resize(capacity);
        job.codedBytes = EncodePicture(sessions[size_t(worker)], job.picture.data(), job.coded.data(), capacity);
    };
    steps.consume = [&](FrameJob& job) {
        if (job.codedBytes == 0)
            Fail(settings.out, "frame " + std::to_string(job.number) + " does not fit the codec's frame buffer");
        // The other streams up to the end of this frame go first, to be
        // interleaved with it.
        if (carrier != nullptr)
            ReleaseCarried(*carrier, job.number + 1);
        if (job.number == 0 && carrier != nullptr && carrier->leadFrames > 0)
            WriteLeadIn(output, source, settings, carrier->leadFrames);
        WriteCodedFrame(output, job.coded.data(), job.codedBytes);
        UpdateProgress(progress, job.number + 1);
    };
    const int64_t pictures = RunPipeline(settings.threads, DefaultPipelineDepth(settings.threads), steps);
    EndProgress(progress);
    bool streamsDamaged = false;
    if (carrier != nullptr) {
        const CarryEnd end = Interrupted()                                                 ? CarryEnd::INTERRUPTED
                             : settings.frameLimit > 0 && pictures == settings.frameLimit ? CarryEnd::CUT
                                                                                           : CarryEnd::COMPLETE;
        streamsDamaged = FinishCarried(*carrier, end, pictures);
    }
    CloseCodedOutput(output);
    if (carrier != nullptr)
        CheckCarriedTags(*carrier, file.writePath);
    CommitOutput(file);
    return {output.frames, output.bytes, SecondsSince(progress.started), Interrupted(), {}, streamsDamaged};
}

int RunEncode(const Options& options)
{
    const std::string& in = options.files[0];
    const std::string& out = options.files[1];
    PictureInputSettings inputSettings = {in, options.inputFormat, options.size, options.pixFmt, options.rate};
    PictureInput input = OpenPictureInput(inputSettings);
    const PixelLayout& layout = *FindPixelLayout(options.pix);
    const int codedWidth = CodedWidth(options, in, input.width);
    if (!options.quiet && (input.fieldOrder == AV_FIELD_BB || input.fieldOrder == AV_FIELD_BT))
        std::fprintf(stderr, "qf25: %s: the input is bottom field first; QF25 files play the even lines first\n",
                     in.c_str());

    PictureSource source;
    source.width = codedWidth;
    source.height = input.height;
    source.rate = input.rate;
    source.sampleAspect = input.sampleAspect;
    source.expectedFrames = input.expectedFrames;
    RefuseInputAsOutput(out, {in});
    StreamCarrier carrier = PlanCarriedStreams(in, *input.demuxer, input.streamIndex, input.rate,
                                               {out, CodedOutputFormat(out, options.format)}, CarryOptionsOf(options));
    input.otherPacket = [&](AVPacket& packet) { HoldCarriedPacket(carrier, packet); };
    source.read = [&](uint8_t* picture) {
        if (!ReadPicture(input, layout, codedWidth, picture))
            return false;
        if (input.framesRead == 1)
            StartCarriedTimeline(carrier, input.lastPts);
        return true;
    };

    EncodeSettings settings;
    settings.out = out;
    settings.formatName = options.format;
    settings.inputs = {in};
    settings.layout = &layout;
    settings.quality = options.quality;
    settings.threads = WorkerCount(options);
    settings.frameLimit = options.frames;
    settings.quiet = options.quiet;
    settings.carrier = &carrier;
    const RunReport report = EncodeToFile(source, settings);

    if (report.interrupted) {
        std::fprintf(stderr, "qf25: interrupted; %s holds the first %lld frames\n", out.c_str(),
                     static_cast<long long>(report.frames));
        return EXIT_INTERRUPTED;
    }
    if (!options.quiet) {
        const double uncompressed =
            double(report.frames) * double(PictureBytes(PIXEL_LAYOUTS[0], codedWidth, input.height));
        std::fprintf(stderr, "qf25: %s: %lld frames%s, %.1f MB (%.1f:1 against 4:2:2), %.1f frames/s\n", out.c_str(),
                     static_cast<long long>(report.frames), CarriedSummary(carrier).c_str(), double(report.bytes) / 1e6,
                     report.bytes > 0 ? uncompressed / double(report.bytes) : 0.0,
                     report.seconds > 0 ? double(report.frames) / report.seconds : 0.0);
    }
    return report.streamsDamaged ? EXIT_DAMAGED : EXIT_OK;
}
