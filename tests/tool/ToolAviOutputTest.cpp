// SPDX-License-Identifier: BSD-2-Clause
#include "AviOutput.h"
#include "CodedInput.h"

#include "ToolTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>

namespace {

uint32_t Read32(const std::string& bytes, size_t at)
{
    uint32_t value = 0;
    std::memcpy(&value, bytes.data() + at, 4);
    return value;
}

// Frames of varied, partly odd sizes whose bytes say which frame they are.
std::vector<uint8_t> FrameBytes(int index)
{
    return std::vector<uint8_t>(size_t(3000 + (index * 997) % 5000), uint8_t(index));
}

AviStreamInfo NtscStream()
{
    AviStreamInfo stream;
    stream.width = 720;
    stream.height = 486;
    stream.rate = {30000, 1001};
    stream.format = CompressedHeader(PIXEL_LAYOUTS[1], 720, 486);
    return stream;
}

void WriteFrames(const std::string& path, int frames, uint64_t segmentLimit)
{
    AviWriter writer;
    OpenAvi(writer, path, NtscStream(), segmentLimit);
    for (int i = 0; i < frames; ++i) {
        const std::vector<uint8_t> frame = FrameBytes(i);
        WriteAviFrame(writer, frame.data(), uint32_t(frame.size()));
    }
    CloseAvi(writer);
}

// The top-level RIFF chunks must tile the file exactly.
std::vector<std::string> RiffForms(const std::string& bytes)
{
    std::vector<std::string> forms;
    size_t at = 0;
    while (at + 12 <= bytes.size() && bytes.compare(at, 4, "RIFF") == 0) {
        forms.push_back(bytes.substr(at + 8, 4));
        at += 8 + Read32(bytes, at + 4);
    }
    EXPECT_EQ(at, bytes.size()) << "RIFF sizes do not add up to the file size";
    return forms;
}

TEST(ToolAviOutput, SegmentsReadBackInOrderThroughFfmpeg)
{
    TempDir dir;
    const std::string path = dir.Path("segments.avi");
    constexpr int FRAMES = 120;
    WriteFrames(path, FRAMES, 64 * 1024);  // about a dozen frames per segment

    const std::string bytes = ReadFile(path);
    const std::vector<std::string> forms = RiffForms(bytes);
    ASSERT_GT(forms.size(), 5u);
    EXPECT_EQ(forms[0], "AVI ");
    for (size_t i = 1; i < forms.size(); ++i)
        EXPECT_EQ(forms[i], "AVIX");
    EXPECT_NE(bytes.find("idx1"), std::string::npos);
    const size_t superIndex = bytes.find("indx");
    ASSERT_NE(superIndex, std::string::npos);
    EXPECT_EQ(Read32(bytes, superIndex + 12), forms.size()) << "one standard index per segment";

    CodedInput input = OpenCodedInput(path, "");
    EXPECT_EQ(input.width, 720);
    EXPECT_EQ(input.height, 486);
    EXPECT_EQ(input.codedFrom, &PIXEL_LAYOUTS[1]);
    EXPECT_EQ(input.rate.num * 1001, input.rate.den * 30000);
    EXPECT_EQ(input.expectedFrames, FRAMES);
    std::vector<uint8_t> coded;
    uint32_t size = 0;
    int frames = 0;
    while (ReadCodedFrame(input, coded, size)) {
        const std::vector<uint8_t> expected = FrameBytes(frames);
        ASSERT_EQ(size, expected.size()) << "frame " << frames;
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), coded.begin())) << "frame " << frames;
        ++frames;
    }
    EXPECT_EQ(frames, FRAMES);
}

// Sound beside the frames, given as a capture would: a little ahead of the
// pictures, in pieces of its own size. Past the small segment limit every
// stream continues in the OpenDML segments; FFmpeg reads back every byte,
// with the sound never more than a frame's worth away from its picture.
TEST(ToolAviOutput, SoundIsInterleavedAndCrossesSegments)
{
    TempDir dir;
    const std::string path = dir.Path("sound.avi");
    constexpr int FRAMES = 90;  // 30000/1001 frames/s: 1601.6 samples a frame at 48 kHz
    AviAudioInfo stereo24;
    stereo24.channels = 2;
    stereo24.sampleRate = 48000;
    stereo24.bitsPerSample = 24;
    stereo24.channelMask = 3;
    AviAudioInfo mono16 = stereo24;
    mono16.channels = 1;
    mono16.bitsPerSample = 16;
    mono16.channelMask = 0;
    std::string given[2];
    {
        AviWriter writer;
        EXPECT_EQ(AddAviAudio(writer, stereo24), 0);
        EXPECT_EQ(AddAviAudio(writer, mono16), 1);
        OpenAvi(writer, path, NtscStream(), 64 * 1024);
        uint32_t seed = 7;
        for (int i = 0; i < FRAMES; ++i) {
            for (int audio = 0; audio < 2; ++audio) {
                const uint32_t blockBytes = audio == 0 ? 6 : 2;
                while (given[audio].size() / blockBytes < uint64_t(i + 2) * 48000 * 1001 / 30000) {
                    std::string piece(size_t(1000) * blockBytes, 0);
                    for (char& byte : piece)
                        byte = char((seed = seed * 1664525 + 1013904223) >> 24);
                    WriteAviAudio(writer, audio, reinterpret_cast<const uint8_t*>(piece.data()), piece.size());
                    given[audio] += piece;
                }
            }
            const std::vector<uint8_t> frame = FrameBytes(i);
            WriteAviFrame(writer, frame.data(), uint32_t(frame.size()));
        }
        CloseAvi(writer);
    }
    const std::string bytes = ReadFile(path);
    ASSERT_GT(RiffForms(bytes).size(), 5u);
    const size_t wave = bytes.find("strf", bytes.find("auds"));
    EXPECT_EQ(Read32(bytes, wave + 4), 40u) << "WAVEFORMATEXTENSIBLE for 24 bits";
    EXPECT_EQ(bytes.substr(wave + 8, 2), std::string("\xFE\xFF", 2));
    EXPECT_EQ(Read32(bytes, wave + 8 + 20), 3u) << "front left and right";
    EXPECT_EQ(bytes.substr(wave + 8 + 24, 16),
              std::string("\x01\0\0\0\0\0\x10\0\x80\0\0\xAA\0\x38\x9B\x71", 16)) << "PCM";
    const size_t plain = bytes.find("strf", bytes.find("auds", wave));
    EXPECT_EQ(Read32(bytes, plain + 4), 18u) << "WAVEFORMATEX for 16-bit mono";

    CodedInput input = OpenCodedInput(path, "");
    std::map<int64_t, std::pair<int, std::string>> inFileOrder;  // by position: stream and bytes
    for (AVPacket* packet = input.packet.get(); av_read_frame(input.demuxer.get(), packet) >= 0;
         av_packet_unref(packet))
        inFileOrder[packet->pos] = {packet->stream_index, std::string(reinterpret_cast<char*>(packet->data),
                                                                      size_t(packet->size))};
    std::string read[3];
    int frames = 0;
    for (const auto& [position, packet] : inFileOrder) {
        if (packet.first == 0) {
            // Each picture follows the sound up to its end: the samples that start before it.
            const uint64_t frameEnd = (uint64_t(frames + 1) * 48000 * 1001 + 29999) / 30000;
            EXPECT_EQ(read[1].size() / 6, frameEnd) << "frame " << frames;
            EXPECT_EQ(read[2].size() / 2, frameEnd) << "frame " << frames;
            ++frames;
        }
        read[packet.first] += packet.second;
    }
    EXPECT_EQ(frames, FRAMES);
    EXPECT_TRUE(read[1] == given[0]);
    EXPECT_TRUE(read[2] == given[1]);
}

TEST(ToolAviOutput, StreamFormatIsTheCompressorsHeader)
{
    TempDir dir;
    const std::string path = dir.Path("format.avi");
    WriteFrames(path, 3, AVI_SEGMENT_LIMIT);
    const std::string bytes = ReadFile(path);
    const size_t format = bytes.find("strf");
    ASSERT_NE(format, std::string::npos);
    EXPECT_EQ(Read32(bytes, format + 4), 40u);
    const BitmapHeader expected = CompressedHeader(PIXEL_LAYOUTS[1], 720, 486);
    EXPECT_EQ(bytes.substr(format + 8, 40), std::string(expected.begin(), expected.end()));
    EXPECT_EQ(Read32(bytes, format + 8 + 16), 0x35324651u) << "biCompression QF25";
    EXPECT_EQ(Read32(bytes, format + 8 + 20), 720u * 486 * 6) << "biSizeImage";

    const size_t streamHeader = bytes.find("strh");
    EXPECT_EQ(bytes.substr(streamHeader + 8, 8), "vidsQF25");
    EXPECT_EQ(Read32(bytes, streamHeader + 8 + 32), 3u) << "frame count";
    const size_t properties = bytes.find("vprp");
    ASSERT_NE(properties, std::string::npos);
    EXPECT_EQ(Read32(bytes, properties + 8 + 32), 2u) << "two fields per frame";
    EXPECT_EQ(Read32(bytes, properties + 8 + 36 + 28), 0u) << "the first field starts at line 0";
    EXPECT_EQ(Read32(bytes, properties + 8 + 68 + 28), 1u) << "the second at line 1";
}

TEST(ToolAviOutput, AnEmptyFileIsStillValid)
{
    TempDir dir;
    const std::string path = dir.Path("empty.avi");
    WriteFrames(path, 0, AVI_SEGMENT_LIMIT);
    EXPECT_EQ(RiffForms(ReadFile(path)).size(), 1u);
    CodedInput input = OpenCodedInput(path, "");
    std::vector<uint8_t> coded;
    uint32_t size = 0;
    EXPECT_FALSE(ReadCodedFrame(input, coded, size));
}

}  // namespace
