// SPDX-License-Identifier: BSD-2-Clause
// Reading damaged files as `qf25 decode` reads them. The input is a whole
// file (AVI, Matroska, NUT, MOV or anything else FFmpeg may take it for); it
// is opened by name through the tool's own reading code, and every frame of
// its QF25 stream goes through the tool's decoding step, which checks the
// frame's layout before the codec sees it. Whatever the bytes, the outcome
// must be a reported failure or damaged frames, never a crash. The input's
// size picks the picture layout decoded into (size % 3) and, one size in
// eight, a large case.
#include "CodedInput.h"
#include "Commands.h"
#include "ToolError.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" {
#include <libavutil/log.h>
}

namespace {

// Every run stays fast: a small picture and a few frames reach what a large
// one and a long clip do, so only large cases go up to a 1920x1088 frame and
// a clip of a few seconds.
constexpr uint64_t MAX_SMALL_PIXELS = 64 * 128;
constexpr int64_t MAX_SMALL_FRAMES = 8;
constexpr uint64_t MAX_LARGE_PIXELS = 1920 * 1088;
constexpr int64_t MAX_LARGE_FRAMES = 64;

// A file in memory that FFmpeg opens by name, rewritten for every input.
int InputFile()
{
    const int file = memfd_create("qf25-fuzz-input", 0);
    if (file < 0) {
        std::perror("memfd_create");
        std::abort();
    }
    av_log_set_level(AV_LOG_QUIET);
    return file;
}

void Rewrite(int file, const uint8_t* data, size_t size)
{
    if (ftruncate(file, 0) != 0)
        std::abort();
    for (size_t done = 0; done < size;) {
        const ssize_t written = pwrite(file, data + done, size - done, off_t(done));
        if (written <= 0)
            std::abort();
        done += size_t(written);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const int file = InputFile();
    Rewrite(file, data, size);
    try {
        CodedInput input = OpenCodedInput("/proc/self/fd/" + std::to_string(file), "");
        const bool large = size / 3 % 8 == 7;
        if (uint64_t(input.width) * uint64_t(input.height) > (large ? MAX_LARGE_PIXELS : MAX_SMALL_PIXELS))
            return 0;
        DecodeSettings settings;
        settings.layout = &PIXEL_LAYOUTS[size % 3];
        settings.frameLimit = large ? MAX_LARGE_FRAMES : MAX_SMALL_FRAMES;
        settings.quiet = true;
        DecodeStream(input, settings, [](const uint8_t*, int64_t) {});
    } catch (const ToolError&) {
        // Refused with a message, as the command would be.
    }
    return 0;
}
