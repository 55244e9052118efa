// SPDX-License-Identifier: BSD-2-Clause
// The sessions that `qf25 bench --peers` times: UYVY repacked into the
// peers' planes and back, every codec giving back the photographs it coded
// in both layouts, and a peer that cannot take a size named in the failure.
#include "BenchClip.h"
#include "ToolError.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

namespace {

TEST(ToolPeers, UyvyRepacksIntoPlanesAndBack)
{
    // Two lines of four pixels: U Y0 V Y1 for each pair.
    const std::vector<uint8_t> uyvy = {10, 1, 20, 2, 11, 3, 21, 4, 12, 5, 22, 6, 13, 7, 23, 8};
    std::vector<uint8_t> planes(uyvy.size());
    UyvyToPlanes(uyvy.data(), 4, 2, planes.data());
    EXPECT_EQ(planes, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 13, 20, 21, 22, 23}));
    std::vector<uint8_t> back(uyvy.size());
    PlanesToUyvy(planes.data(), 4, 2, back.data());
    EXPECT_EQ(back, uyvy);
}

TEST(ToolPeers, EveryCodecGivesBackThePhotographsInBothLayouts)
{
    Options options;
    options.files = {QF25_TEST_CLIP};
    options.size = "720x486";
    options.pixFmt = "uyvy422";
    options.rate = "25";
    options.frames = 2;
    options.peers = true;
    for (const char* name : {"uyvy", "bgr32"}) {
        const BenchClip clip = LoadBenchClip(options, *FindPixelLayout(name), 0, 0);
        ASSERT_EQ(clip.pictures.size(), 2u);
        for (const PeerCodec& codec : PEER_CODECS) {
            // FFmpeg's cfhd does not decode its own frames of 486 lines; the
            // table shows it as skipped.
            if (codec.avCodec == AV_CODEC_ID_CFHD)
                continue;
            const CodedClip coded = CodeClip(codec, clip, 0);
            // Planes in the wrong order or colours converted the wrong way
            // round give far less than this.
            EXPECT_GT(coded.psnr, 34.0) << codec.name << " " << name;
            EXPECT_LT(coded.psnr, 60.0) << codec.name << " " << name;
            // Against the wrong pictures or planes SSIM falls far lower; 1 is a picture against itself.
            EXPECT_GT(coded.ssim, 0.9) << codec.name << " " << name;
            EXPECT_LT(coded.ssim, 1.0) << codec.name << " " << name;
            EXPECT_EQ(coded.sizes.size(), 2u);
            EXPECT_EQ(coded.frames[1].size(), coded.sizes[1] + PEER_PADDING);
            const double bitsPerPixel = 8.0 * double(coded.bytes) / (2.0 * 720 * 486);
            EXPECT_GT(bitsPerPixel, 0.5) << codec.name << " " << name;
            EXPECT_LT(bitsPerPixel, 12.0) << codec.name << " " << name;
        }
    }
}

// CineForm at a height its decoder takes.
TEST(ToolPeers, CineFormGivesBackThePhotographs)
{
    Options options;
    options.frames = 2;
    options.peers = true;
    const BenchClip clip = LoadBenchClip(options, *FindPixelLayout("uyvy"), 720, 480);
    const PeerCodec* cfhd = std::find_if(std::begin(PEER_CODECS), std::end(PEER_CODECS),
                                         [](const PeerCodec& codec) { return codec.avCodec == AV_CODEC_ID_CFHD; });
    ASSERT_NE(cfhd, std::end(PEER_CODECS));
    const CodedClip coded = CodeClip(*cfhd, clip, 0);
    EXPECT_GT(coded.psnr, 40.0);
}

TEST(ToolPeers, ACodecThatCannotTakeTheSizeIsNamed)
{
    const PixelLayout& uyvy = *FindPixelLayout("uyvy");
    try {
        OpenPeerEncoder(PEER_CODECS[3], uyvy, 64, 32, 0);
        ADD_FAILURE() << "dnxhd took 64x32";
    } catch (const ToolError& error) {
        EXPECT_EQ(error.message.rfind("dnxhd: cannot code 64x32 (", 0), 0u) << error.message;
    }
}

}  // namespace
