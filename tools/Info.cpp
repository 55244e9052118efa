// SPDX-License-Identifier: BSD-2-Clause
#include "Commands.h"

#include "FrameLayout.h"
#include "Pipeline.h"
#include "StreamList.h"
#include "ToolError.h"

#include <cstdio>
#include <string>

namespace {

std::string DescribeField(const FieldLayout& field)
{
    std::string text = std::to_string(field.bytes) + " (";
    for (int k = 0; k < SLICES_PER_FIELD; ++k) {
        if (k != 0)
            text += ' ';
        text += std::to_string(field.sliceBytes[size_t(k)]);
    }
    return text + ")";
}

void PrintContainer(const CodedInput& input)
{
    const AVFormatContext& demuxer = *input.demuxer;
    const AVStream& stream = *demuxer.streams[input.streamIndex];
    std::printf("file        %s\n", input.path.c_str());
    std::printf("container   %s (%s), %u stream%s", demuxer.iformat->name, demuxer.iformat->long_name,
                demuxer.nb_streams, demuxer.nb_streams == 1 ? "" : "s");
    if (demuxer.duration > 0)
        std::printf(", %.3f s", double(demuxer.duration) / AV_TIME_BASE);
    std::printf("\nvideo       stream %d: QF25 %dx%d", input.streamIndex, input.width, input.height);
    if (input.codedFrom != nullptr)
        std::printf(", coded from %s", input.codedFrom->name);
    std::printf(", %d/%d frames/s", input.rate.num, input.rate.den);
    if (stream.nb_frames > 0)
        std::printf(", %lld frames", static_cast<long long>(stream.nb_frames));
    if (input.sampleAspect.num > 0)
        std::printf(", pixel aspect %d:%d", input.sampleAspect.num, input.sampleAspect.den);
    std::printf("\npictures    %s%s; colour %s%s\n", FieldOrderName(input.fieldOrder),
                input.fieldOrderRecorded ? "" : " (not recorded: assumed)",
                DescribeColour({input.colour.primaries, input.colour.transfer, DecodedMatrix(input)}).c_str(),
                input.colourRecorded ? "" : " (not recorded: the usual for the size assumed)");
    PrintOtherStreams(demuxer, input.streamIndex);
    PrintTags(demuxer);
    std::printf("\n");
    std::printf("%8s %4s %9s  %-36s %s\n", "frame", "q", "bytes", "field 0 (slices)", "field 1 (slices)");
}

}  // namespace

int RunInfo(const Options& options)
{
    CodedInput input = OpenCodedInput(options.files[0], options.inputFormat);
    PrintContainer(input);
    const int threads = options.verify ? WorkerCount(options) : 1;
    const PixelLayout& layout = PIXEL_LAYOUTS[0];
    std::vector<CodecSession> sessions;
    if (options.verify)
        sessions = OpenDecoders(layout, input.width, input.height, threads);
    const size_t pictureBytes = PictureBytes(layout, input.width, input.height);

    std::vector<int64_t> damaged;
    uint64_t totalBytes = 0;
    PipelineSteps steps;
    steps.produce = [&](FrameJob& job) { return ReadCodedFrame(input, job.coded, job.codedBytes); };
    steps.work = [&](int worker, FrameJob& job) {
        const FrameLayout frame = ParseFrameLayout(job.coded.data(), job.codedBytes);
        job.problem = frame.problem;
        if (!options.verify || !job.problem.empty() || job.codedBytes == 0)
            return;
        job.picture.resize(pictureBytes);
        const DecodeOutcome outcome =
            DecodePicture(sessions[size_t(worker)], job.coded.data(), job.codedBytes, job.picture.data());
        if (outcome != DecodeOutcome::GOOD)
            job.problem = outcome == DecodeOutcome::DAMAGED ? "its coded blocks are damaged" : "the codec refused it";
    };
    steps.consume = [&](FrameJob& job) {
        totalBytes += job.codedBytes;
        if (job.codedBytes == 0) {
            std::printf("%8lld    -         0  empty: repeats the previous frame\n",
                        static_cast<long long>(job.number));
            return;
        }
        if (!job.problem.empty()) {
            damaged.push_back(job.number);
            std::printf("%8lld    - %9u  DAMAGED: %s\n", static_cast<long long>(job.number), job.codedBytes,
                        job.problem.c_str());
            return;
        }
        const FrameLayout frame = ParseFrameLayout(job.coded.data(), job.codedBytes);
        std::printf("%8lld %4d %9u  %-36s %s", static_cast<long long>(job.number), frame.quality, job.codedBytes,
                    DescribeField(frame.fields[0]).c_str(), DescribeField(frame.fields[1]).c_str());
        if (frame.spareBytes != 0)
            std::printf(" +%u spare", frame.spareBytes);
        std::printf("\n");
    };
    const int64_t frames = RunPipeline(threads, DefaultPipelineDepth(threads), steps);

    std::printf("\n%lld frames, %llu bytes", static_cast<long long>(frames),
                static_cast<unsigned long long>(totalBytes));
    if (frames > 0)
        std::printf(", %.0f bytes per frame", double(totalBytes) / double(frames));
    if (options.verify)
        std::printf(", every frame decoded");
    std::printf("; %zu damaged\n", damaged.size());
    std::fflush(stdout);
    const std::string missing = MissingFrames(input);
    if (!missing.empty())
        std::fprintf(stderr, "qf25: %s: %s\n", input.path.c_str(), missing.c_str());
    if (!damaged.empty())
        std::fprintf(stderr, "qf25: %s: damaged frames: %s\n", input.path.c_str(), ListFrames(damaged).c_str());
    return damaged.empty() && missing.empty() ? EXIT_OK : EXIT_DAMAGED;
}
