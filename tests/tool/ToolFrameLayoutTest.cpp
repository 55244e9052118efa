// SPDX-License-Identifier: BSD-2-Clause
#include "FrameLayout.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

void Put24(std::vector<uint8_t>& bytes, size_t at, uint32_t value)
{
    bytes[at] = uint8_t(value);
    bytes[at + 1] = uint8_t(value >> 8);
    bytes[at + 2] = uint8_t(value >> 16);
}

// A frame shaped as the encoder writes it, with slice payloads of the given
// sizes filled with a pattern.
using SliceSizes = std::array<uint32_t, 4>;

std::vector<uint8_t> MakeFrame(int quality, const SliceSizes& field0, const SliceSizes& field1)
{
    std::vector<uint8_t> bytes(FRAME_HEADER_BYTES, 0);
    bytes[0] = uint8_t(quality);
    for (const auto* field : {&field0, &field1}) {
        for (const uint32_t payload : *field) {
            const size_t at = bytes.size();
            bytes.resize(at + SLICE_HEADER_BYTES + payload, 0xA5);
            Put24(bytes, at, SLICE_HEADER_BYTES + payload);
        }
        if (field == &field0)
            Put24(bytes, 1, uint32_t(bytes.size()));
    }
    return bytes;
}

TEST(ToolFrameLayout, ReadsQualityFieldAndSliceLengths)
{
    const std::vector<uint8_t> bytes = MakeFrame(95, {10, 0, 7, 1}, {5, 5, 0, 2});
    const FrameLayout frame = ParseFrameLayout(bytes.data(), bytes.size());
    EXPECT_EQ(frame.problem, "");
    EXPECT_EQ(frame.quality, 95);
    EXPECT_EQ(frame.fields[0].bytes, 4u + 13 + 3 + 10 + 4);
    EXPECT_EQ(frame.fields[0].sliceBytes, (SliceSizes{13, 3, 10, 4}));
    EXPECT_EQ(frame.fields[1].bytes, 8u + 8 + 3 + 5);
    EXPECT_EQ(frame.fields[1].sliceBytes, (SliceSizes{8, 8, 3, 5}));
    EXPECT_EQ(frame.spareBytes, 0u);
}

TEST(ToolFrameLayout, AcceptsBytesAfterTheLastSlice)
{
    std::vector<uint8_t> bytes = MakeFrame(50, {1, 1, 1, 1}, {1, 1, 1, 1});
    bytes.resize(bytes.size() + 3, 0);
    const FrameLayout frame = ParseFrameLayout(bytes.data(), bytes.size());
    EXPECT_EQ(frame.problem, "");
    EXPECT_EQ(frame.spareBytes, 3u);
}

TEST(ToolFrameLayout, NamesEveryKindOfDamage)
{
    const std::vector<uint8_t> good = MakeFrame(99, {20, 20, 20, 20}, {20, 20, 20, 20});
    const auto problemOf = [](const std::vector<uint8_t>& bytes) {
        return ParseFrameLayout(bytes.data(), bytes.size()).problem;
    };

    EXPECT_EQ(problemOf({95, 1}), "the frame is only 2 bytes long");
    std::vector<uint8_t> bytes = good;
    bytes[0] = 0;
    EXPECT_EQ(problemOf(bytes), "the quality byte 0 is outside 1..99");
    bytes[0] = 100;
    EXPECT_EQ(problemOf(bytes), "the quality byte 100 is outside 1..99");

    bytes = good;
    Put24(bytes, 1, uint32_t(good.size() + 1));
    EXPECT_EQ(problemOf(bytes), "field 0 claims " + std::to_string(good.size() + 1) + " bytes of a " +
                                    std::to_string(good.size()) + "-byte frame");
    Put24(bytes, 1, 15);
    EXPECT_EQ(problemOf(bytes), "field 0 claims 15 bytes of a " + std::to_string(good.size()) + "-byte frame");

    bytes = good;
    Put24(bytes, 4 + 23, 2);  // slice 1 of field 0
    EXPECT_EQ(problemOf(bytes), "slice 1 of field 0 has the impossible length 2");
    Put24(bytes, 4 + 23, 23 + 100);
    EXPECT_EQ(problemOf(bytes), "slice 1 of field 0 runs 54 bytes past the end of the field");
    bytes = good;
    Put24(bytes, 1, 97);
    EXPECT_EQ(problemOf(bytes), "the slices of field 0 end at byte 96, not at 97");

    bytes = good;
    bytes.resize(bytes.size() - 5);  // cut inside the last slice
    EXPECT_EQ(problemOf(bytes), "slice 3 of field 1 runs 5 bytes past the end of the frame");
    bytes.resize(96 + 3 * 23 + 1);
    EXPECT_EQ(problemOf(bytes), "slice 3 of field 1 is missing");
}

}  // namespace
