// SPDX-License-Identifier: BSD-2-Clause
#include "Commands.h"

#include "CodedOutput.h"
#include "FrameTimer.h"
#include "Interrupt.h"
#include "OutputFile.h"
#include "Pipeline.h"
#include "PictureInput.h"
#include "Progress.h"
#include "ToolError.h"

#include <cstdio>

extern "C" {
#include <libavutil/pixdesc.h>
}

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
    const std::string pad = "--pad (to " + std::to_string(padded) + ")";
    Fail(path, "the width " + std::to_string(width) + " is not a multiple of 16; add " +
                   (cropped > 0 ? "--crop (to " + std::to_string(cropped) + ") or " + pad : pad));
}

namespace {

void Tell(const std::string& path, const std::string& message)
{
    std::fprintf(stderr, "qf25: %s: %s\n", path.c_str(), message.c_str());
}

// What of the input the file cannot keep, said before coding starts.
void TellWhatIsLost(const PictureInput& input, const std::string& path)
{
    if (input.height < 2)
        Fail(path, "a picture of one line cannot be coded: the codec codes the lines of its two fields in pairs");
    if (input.height % 2 != 0)
        Tell(path, "the last line of an odd height is not kept (" + std::to_string(input.height) +
                       " lines; the codec codes line pairs): decoders repeat the line of its field above it");
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(input.pixelFormat);
    if (descriptor != nullptr && descriptor->comp[0].depth > 8)
        Tell(path, "its " + std::to_string(descriptor->comp[0].depth) + "-bit samples are rounded to 8 bits");
    if (descriptor != nullptr && (descriptor->flags & AV_PIX_FMT_FLAG_ALPHA))
        Tell(path, "its alpha channel is left out");
    if (input.rateMeasured)
        Tell(path, "it states no frame rate; " + std::to_string(input.rate.num) + "/" + std::to_string(input.rate.den) +
                       " frames/s measured from its first frames (--rate states one)");
}

// Pictures in the coded layout at a constant rate: repeated or dropped as
// their times ask, unless --rate takes them one for one.
struct TimedPictures {
    PictureInput& input;
    const PixelLayout& layout;
    int codedWidth;
    FrameTimer timer;
    int64_t previousCopies = 0;
    int64_t copies = 0;
};

bool ReadTimedPicture(TimedPictures& pictures, uint8_t* picture)
{
    PictureInput& input = pictures.input;
    while (pictures.previousCopies == 0 && pictures.copies == 0) {
        if (!NextFrame(input))
            return false;
        if (input.rateGiven) {
            pictures.copies = 1;
        } else {
            // Only a picture after the first has copies of the one before.
            const FramePlacement placement = PlaceFrame(pictures.timer, FrameSeconds(input));
            pictures.previousCopies = placement.previousCopies;
            pictures.copies = placement.copies;
        }
    }
    const bool previous = pictures.previousCopies > 0;
    (previous ? pictures.previousCopies : pictures.copies) -= 1;
    ConvertFrame(input, previous ? *input.previous : *input.frame, pictures.layout, pictures.codedWidth, picture);
    return true;
}

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
    CodedStreamInfo stream = {settings.layout, source.width,       source.height, source.rate,
                              source.sampleAspect, source.fieldOrder, source.colour};
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
    PictureInputSettings inputSettings = {in,          options.inputFormat, options.size,
                                          options.pixFmt, options.rate,     options.fieldOrder};
    PictureInput input = OpenPictureInput(inputSettings);
    const PixelLayout& layout = *FindPixelLayout(options.pix);
    const int codedWidth = CodedWidth(options, in, input.width);
    TellWhatIsLost(input, in);

    PictureSource source;
    source.width = codedWidth;
    source.height = input.height;
    source.rate = input.rate;
    source.sampleAspect = input.sampleAspect;
    source.fieldOrder = input.fieldOrder;
    source.colour = CodedColour(input, layout, codedWidth);
    source.expectedFrames = input.expectedFrames;
    RefuseInputAsOutput(out, {in});
    StreamCarrier carrier = PlanCarriedStreams(in, *input.demuxer, input.streamIndex, input.rate,
                                               {out, CodedOutputFormat(out, options.format)}, CarryOptionsOf(options));
    input.otherPacket = [&](AVPacket& packet) { HoldCarriedPacket(carrier, packet); };
    TimedPictures pictures = {input, layout, codedWidth, {input.rate}};
    source.read = [&](uint8_t* picture) {
        const int64_t before = input.framesRead;
        if (!ReadTimedPicture(pictures, picture))
            return false;
        // The file's time starts with the first picture kept.
        if (before == 0)
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
    const FrameTimer& timer = pictures.timer;
    if (timer.repeated > 0 || timer.dropped > 0)
        Tell(in, "its frames are not evenly timed: " + std::to_string(timer.repeated) + " repeated and " +
                     std::to_string(timer.dropped) + " dropped to keep " + std::to_string(input.rate.num) + "/" +
                     std::to_string(input.rate.den) + " frames/s");

    if (OutputClosed()) {
        Tell(out, "its reader went away after " + std::to_string(report.frames) + " frames");
        return EXIT_INTERRUPTED;
    }
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
