// SPDX-License-Identifier: BSD-2-Clause
#include "Commands.h"

#include "CheckedDecode.h"
#include "Interrupt.h"
#include "OutputFile.h"
#include "Pipeline.h"
#include "PictureOutput.h"
#include "Progress.h"
#include "ToolError.h"

#include <cstdio>
#include <unistd.h>
#include <utility>

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace {

enum FrameOutcome { FRAME_GOOD, FRAME_EMPTY, FRAME_DAMAGED };

void DecodeJob(CodecSession& session, FrameJob& job)
{
    if (job.codedBytes == 0) {
        job.outcome = FRAME_EMPTY;
        return;
    }
    const DecodeOutcome outcome =
        DecodeCheckedFrame(session, job.coded.data(), job.codedBytes, job.picture.data(), 0, job.problem);
    job.outcome = outcome == DecodeOutcome::GOOD ? FRAME_GOOD : FRAME_DAMAGED;
}

}  // namespace

std::string ListFrames(const std::vector<int64_t>& frames)
{
    constexpr size_t SHOWN = 20;
    std::string text;
    for (size_t i = 0; i < frames.size() && i < SHOWN; ++i)
        text += (i == 0 ? "" : ", ") + std::to_string(frames[i]);
    if (frames.size() > SHOWN)
        text += " and " + std::to_string(frames.size() - SHOWN) + " more";
    return text;
}

RunReport DecodeStream(CodedInput& input, const DecodeSettings& settings,
                       const std::function<void(const uint8_t* picture, int64_t number)>& sink)
{
    std::vector<CodecSession> sessions = OpenDecoders(*settings.layout, input.width, input.height, settings.threads);
    const size_t pictureBytes = PictureBytes(*settings.layout, input.width, input.height);
    std::vector<uint8_t> lastGood;
    int64_t lastGoodNumber = -1;

    const int64_t expected = CappedFrameCount(input.expectedFrames, settings.frameLimit);
    Progress progress = StartProgress("decoding", expected, settings.quiet);
    RunReport report;
    PipelineSteps steps;
    steps.produce = [&](FrameJob& job) {
        if (Interrupted() || (settings.frameLimit > 0 && job.number >= settings.frameLimit))
            return false;
        job.picture.resize(pictureBytes);
        return ReadCodedFrame(input, job.coded, job.codedBytes);
    };
    steps.work = [&](int worker, FrameJob& job) { DecodeJob(sessions[size_t(worker)], job); };
    steps.consume = [&](FrameJob& job) {
        if (job.outcome == FRAME_GOOD) {
            // Keep this picture as the stand-in for damaged frames; the job
            // takes the old buffer for its next frame.
            std::swap(lastGood, job.picture);
            lastGoodNumber = job.number;
        } else if (job.outcome == FRAME_DAMAGED) {
            report.damaged.push_back(job.number);
            std::string action = "left out";
            if (!settings.skipDamaged)
                action = lastGoodNumber < 0 ? "replaced by black"
                                            : "replaced by frame " + std::to_string(lastGoodNumber);
            EndProgress(progress);
            std::fprintf(stderr, "qf25: %s: frame %lld is damaged (%s); %s\n", input.path.c_str(),
                         static_cast<long long>(job.number), job.problem.c_str(), action.c_str());
        }
        // An empty frame repeats the previous one, as AVI intends it.
        if (!(job.outcome == FRAME_DAMAGED && settings.skipDamaged)) {
            if (lastGood.empty()) {
                lastGood.resize(pictureBytes);
                FillBlack(*settings.layout, input.width, input.height, lastGood.data());
            }
            sink(lastGood.data(), job.number);
            ++report.frames;
        }
        UpdateProgress(progress, job.number + 1);
    };
    RunPipeline(settings.threads, DefaultPipelineDepth(settings.threads), steps);
    EndProgress(progress);
    report.seconds = SecondsSince(progress.started);
    report.interrupted = Interrupted();
    const std::string missing = MissingFrames(input);
    if (!report.interrupted && settings.frameLimit == 0 && !missing.empty()) {
        std::fprintf(stderr, "qf25: %s: %s\n", input.path.c_str(), missing.c_str());
        report.cutShort = true;
    }
    return report;
}

int RunDecode(const Options& options)
{
    const std::string& in = options.files[0];
    const std::string& out = options.files[1];
    if (out == "-" && isatty(STDOUT_FILENO))
        FailUsage("standard output is a terminal; pipe it (qf25 decode IN - | ffplay -) or name a file");
    CodedInput input = OpenCodedInput(in, options.inputFormat);
    const PixelLayout& layout = *FindPixelLayout(options.pix);
    const AVColorSpace matrix = DecodedMatrix(input);
    if (layout.avFormat != AV_PIX_FMT_UYVY422 && !IsCodecRgbMatrix(matrix))
        std::fprintf(stderr, "qf25: %s: its colour is %s, but --pix %s converts with BT.601; leave --pix out for "
                             "true colours\n",
                     in.c_str(), av_color_space_name(matrix), layout.name);
    RefuseInputAsOutput(out, {in});
    const AVOutputFormat* format = PictureOutputFormat(out, options.format);
    const bool picturesOnly = format->audio_codec == AV_CODEC_ID_NONE;
    StreamCarrier carrier = PlanCarriedStreams(in, *input.demuxer, input.streamIndex, input.rate,
                                               {out, format, picturesOnly}, CarryOptionsOf(options));
    input.otherPacket = [&](AVPacket& packet) { HoldCarriedPacket(carrier, packet); };
    OutputFile file = PrepareOutput(out, {in});
    PictureOutputSettings outputSettings;
    outputSettings.path = out;
    outputSettings.writePath = file.writePath;
    outputSettings.formatName = options.format;
    outputSettings.codecName = options.codec;
    outputSettings.pixFmt = options.pixFmt;
    outputSettings.width = input.width;
    outputSettings.height = input.height;
    outputSettings.rate = input.rate;
    outputSettings.sampleAspect = input.sampleAspect;
    outputSettings.fieldOrder = input.fieldOrder;
    outputSettings.colour = input.colour;
    outputSettings.colour.matrix = matrix;
    outputSettings.expectedFrames = input.expectedFrames;
    outputSettings.carrier = picturesOnly ? nullptr : &carrier;
    PictureOutput output = OpenPictureOutput(outputSettings, layout);

    DecodeSettings settings;
    settings.layout = &layout;
    settings.threads = WorkerCount(options);
    settings.frameLimit = options.frames;
    settings.quiet = options.quiet;
    settings.skipDamaged = options.skipDamaged;
    int64_t pictures = 0;  // since the first, also those left out
    const RunReport report = DecodeStream(input, settings, [&](const uint8_t* picture, int64_t number) {
        if (pictures == 0)
            StartCarriedTimeline(carrier, input.firstPts);
        pictures = number + 1;
        ReleaseCarried(carrier, pictures);
        WritePicture(output, picture, number);
    });
    const CarryEnd end = report.interrupted                                              ? CarryEnd::INTERRUPTED
                         : settings.frameLimit > 0 && pictures == settings.frameLimit ? CarryEnd::CUT
                                                                                       : CarryEnd::COMPLETE;
    const bool streamsDamaged = FinishCarried(carrier, end, pictures);
    ClosePictureOutput(output);
    if (!picturesOnly)
        CheckCarriedTags(carrier, file.writePath);
    CommitOutput(file);

    if (OutputClosed()) {
        std::fprintf(stderr, "qf25: %s: its reader went away after %lld frames\n", out.c_str(),
                     static_cast<long long>(output.frames));
        return EXIT_INTERRUPTED;
    }
    if (report.interrupted) {
        std::fprintf(stderr, "qf25: interrupted; %s holds the first %lld frames\n", out.c_str(),
                     static_cast<long long>(report.frames));
        return EXIT_INTERRUPTED;
    }
    if (!options.quiet)
        std::fprintf(stderr, "qf25: %s: %lld frames%s, %.1f frames/s\n", out.c_str(),
                     static_cast<long long>(report.frames), CarriedSummary(carrier).c_str(),
                     report.seconds > 0 ? double(report.frames) / report.seconds : 0.0);
    if (!report.damaged.empty())
        std::fprintf(stderr, "qf25: %s: damaged frames: %s\n", in.c_str(), ListFrames(report.damaged).c_str());
    return report.damaged.empty() && !report.cutShort && !streamsDamaged ? EXIT_OK : EXIT_DAMAGED;
}
