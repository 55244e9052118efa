// SPDX-License-Identifier: BSD-2-Clause
// The conformance vectors: exact bytes every encoder and decoder must produce
// for real pictures in every layout, with the SSE2 kernels and with the plain
// twins.
#include <gtest/gtest.h>

#include "platform/CpuFlags.h"
#include "support/FrameCoding.h"
#include "support/KernelVariants.h"

namespace {

struct Vector {
    const char* input;
    uint32_t pixelFormat;
    int width;
    int height;
    bool bottomUp;
    int quality;
    const char* stem;  // expected outputs are stem.qNN.qf25 and stem.qNN.dec
};

const Vector VECTORS[] = {
    {"astronaut-720x486.uyvy", PIXEL_FORMAT_UYVY, 720, 486, false, 50, "astronaut-720x486"},
    {"astronaut-720x486.uyvy", PIXEL_FORMAT_UYVY, 720, 486, false, 75, "astronaut-720x486"},
    {"astronaut-720x486.uyvy", PIXEL_FORMAT_UYVY, 720, 486, false, 95, "astronaut-720x486"},
    {"astronaut-720x486.uyvy", PIXEL_FORMAT_UYVY, 720, 486, false, 99, "astronaut-720x486"},
    {"astronaut-720x486-bottomup.bgr24", PIXEL_FORMAT_BGR24, 720, 486, true, 95, "astronaut-720x486-bottomup"},
    {"coffee-720x486-topdown.bgr32", PIXEL_FORMAT_BGR32, 720, 486, false, 95, "coffee-720x486-topdown"},
    {"coffee-1008x21.uyvy", PIXEL_FORMAT_UYVY, 1008, 21, false, 95, "coffee-1008x21"},
    {"chelsea-720x17.uyvy", PIXEL_FORMAT_UYVY, 720, 17, false, 95, "chelsea-720x17"},
    {"chelsea-1000x32-bottomup.bgr24", PIXEL_FORMAT_BGR24, 1000, 32, true, 95, "chelsea-1000x32-bottomup"},
    {"noise-720x486.uyvy", PIXEL_FORMAT_UYVY, 720, 486, false, 99, "noise-720x486"},
};

class ConformanceVector : public testing::TestWithParam<std::tuple<Vector, uint32_t>> {
protected:
    void SetUp() override { SetCpuFlagsMask(std::get<1>(GetParam())); }
    void TearDown() override { SetCpuFlagsMask(~0u); }
};

TEST_P(ConformanceVector, EncodesAndDecodesTheExpectedBytes)
{
    const Vector& v = std::get<0>(GetParam());
    const std::string suffix = ".q" + std::to_string(v.quality);
    const Picture input = ReadVectorPicture(v.input, v.pixelFormat, v.width, v.height, v.bottomUp);
    InstancePtr instance = MakeInstance(input, v.quality);

    const std::vector<uint8_t> frame = EncodeFrame(instance.get(), input);
    const std::vector<uint8_t> expectedFrame = ReadTestFile(std::string("vectors/") + v.stem + suffix + ".qf25");
    ASSERT_EQ(frame.size(), expectedFrame.size());
    EXPECT_TRUE(frame == expectedFrame);

    Picture decoded = input;
    std::fill(decoded.bytes.begin(), decoded.bytes.end(), 0);
    InstancePtr decoder = MakeInstance(input, 95);
    EXPECT_EQ(DecodeFrame(decoder.get(), expectedFrame, &decoded), FIELD_OK);
    EXPECT_EQ(decoder->quality, v.quality);
    EXPECT_TRUE(decoded.bytes == ReadTestFile(std::string("vectors/") + v.stem + suffix + ".dec"));
}

std::string VectorName(const testing::TestParamInfo<std::tuple<Vector, uint32_t>>& info)
{
    std::string name = std::string(std::get<0>(info.param).stem) + "_q" + std::to_string(std::get<0>(info.param).quality);
    for (char& c : name)
        if (!isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name + "_" + KernelVariantName({std::get<1>(info.param), info.index});
}

INSTANTIATE_TEST_SUITE_P(Vectors, ConformanceVector, testing::Combine(testing::ValuesIn(VECTORS), KERNEL_VARIANTS),
                         VectorName);

}  // namespace
