// SPDX-License-Identifier: BSD-2-Clause
// Real photographs through EncodeField and DecodeField at the qualities hosts
// use: the compressed and decoded bytes are pinned by hashes, and the plain
// twins must give the same bytes as the SSE2 kernels.
#include <gtest/gtest.h>

#include <cstdio>

#include "platform/CpuFlags.h"
#include "support/KernelVariants.h"
#include "support/Photo.h"

namespace {

struct Golden {
    uint32_t pixelFormat;
    int width, height;
    bool bottomUp;
    int quality;
    size_t frameBytes;
    uint64_t frameHash;
    uint64_t pictureHash;
    double minLumaPsnr;  // or, for RGB, the PSNR of green
};

// Measured once; any change to the coded bytes shows here.
const Golden GOLDEN[] = {
#include "data/PhotoGolden.inc"
};

std::vector<double> ComponentPsnr(const Picture& a, const Picture& b)
{
    if (a.pixelFormat == PIXEL_FORMAT_UYVY)
        return {Psnr(a.bytes, b.bytes, 1, 2), Psnr(a.bytes, b.bytes, 0, 4), Psnr(a.bytes, b.bytes, 2, 4)};
    const size_t step = size_t(BytesPerPixel(a.pixelFormat));
    return {Psnr(a.bytes, b.bytes, 1, step), Psnr(a.bytes, b.bytes, 0, step), Psnr(a.bytes, b.bytes, 2, step)};
}

class PhotoRoundTrip : public testing::TestWithParam<Golden> {};

TEST_P(PhotoRoundTrip, MatchesItsGoldenBytesWithBothKernelSets)
{
    const Golden& g = GetParam();
    const Picture photo = ScaledPhoto(g.pixelFormat, g.width, g.height, g.bottomUp);
    for (uint32_t mask : KernelVariantFlags()) {
        SetCpuFlagsMask(mask);
        InstancePtr instance = MakeInstance(photo, g.quality);
        const std::vector<uint8_t> frame = EncodeFrame(instance.get(), photo);
        Picture decoded = photo;
        std::fill(decoded.bytes.begin(), decoded.bytes.end(), 0);
        ASSERT_EQ(DecodeFrame(instance.get(), frame, &decoded), FIELD_OK);
        SetCpuFlagsMask(~0u);
        const std::vector<double> psnr = ComponentPsnr(photo, decoded);
        std::printf("%s format %u %dx%d%s q%d: %zu bytes, PSNR %.2f / %.2f / %.2f dB, hashes 0x%016llxull 0x%016llxull\n",
                    KernelVariantName({mask, 0}).c_str(), g.pixelFormat, g.width, g.height, g.bottomUp ? " bottom-up" : "",
                    g.quality, frame.size(), psnr[0], psnr[1], psnr[2], (unsigned long long)Fnv1a64(frame),
                    (unsigned long long)Fnv1a64(decoded.bytes));
        EXPECT_EQ(frame.size(), g.frameBytes);
        EXPECT_EQ(Fnv1a64(frame), g.frameHash);
        EXPECT_EQ(Fnv1a64(decoded.bytes), g.pictureHash);
        EXPECT_GE(psnr[0], g.minLumaPsnr);
    }
}

INSTANTIATE_TEST_SUITE_P(Photos, PhotoRoundTrip, testing::ValuesIn(GOLDEN));

TEST(PhotoRoundTrip, BottomUpAndTopDownGiveTheSameFrame)
{
    for (uint32_t format : {PIXEL_FORMAT_BGR24, PIXEL_FORMAT_BGR32}) {
        const Picture bottomUp = ScaledPhoto(format, 720, 486, true);
        const Picture topDown = ScaledPhoto(format, 720, 486, false);
        InstancePtr instance = MakeInstance(bottomUp);
        EXPECT_TRUE(EncodeFrame(instance.get(), bottomUp) == EncodeFrame(instance.get(), topDown));
    }
}

}  // namespace
