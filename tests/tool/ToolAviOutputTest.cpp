// SPDX-License-Identifier: BSD-2-Clause
#include "AviOutput.h"
#include "CodedInput.h"

#include "ToolTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

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
