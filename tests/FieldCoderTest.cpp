// SPDX-License-Identifier: BSD-2-Clause
// The frame, field and slice layout, and what the field coder does with
// buffers that are too small or data that is damaged.
#include <gtest/gtest.h>

#include <random>

#include "codec/FieldCoder.h"
#include "codec/SliceLoops.h"
#include "support/FrameCoding.h"

namespace {

Picture Astronaut()
{
    return ReadVectorPicture("astronaut-720x486.uyvy", PIXEL_FORMAT_UYVY, 720, 486, false);
}

std::vector<uint32_t> SliceLengths(const std::vector<uint8_t>& frame, uint32_t offset)
{
    std::vector<uint32_t> lengths;
    for (int k = 0; k < 4; ++k) {
        lengths.push_back(frame[offset] | frame[offset + 1] << 8 | frame[offset + 2] << 16);
        offset += lengths.back();
    }
    return lengths;
}

TEST(FieldLayout, UnsupportedPixelFormatGivesEmptySlices)
{
    Picture picture{PIXEL_FORMAT_UNSUPPORTED, 720, 486, false, std::vector<uint8_t>(720 * 486 * 4, 0x55)};
    InstancePtr instance = MakeInstance(picture);
    std::vector<uint8_t> frame(64, 0xEE);
    EXPECT_EQ(EncodeField(instance.get(), frame.data(), 64, picture.bytes.data(), 0, 0), 16u);
    EXPECT_EQ(EncodeField(instance.get(), frame.data(), 64, picture.bytes.data(), 0, 1), 28u);
    const std::vector<uint8_t> expected = {0x5F, 0x10, 0, 0, 3, 0, 0, 3, 0, 0, 3, 0, 0, 3, 0, 0,
                                           3,    0,    0, 3, 0, 0, 3, 0, 0, 3, 0, 0};
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), frame.begin()));
}

TEST(FieldLayout, LengthsChainAndFillBitsAreZero)
{
    const Picture picture = Astronaut();
    InstancePtr instance = MakeInstance(picture);
    const std::vector<uint8_t> frame = EncodeFrame(instance.get(), picture);
    ASSERT_FALSE(frame.empty());
    const uint32_t s0 = frame[1] | frame[2] << 8 | frame[3] << 16;
    uint32_t sum = 4;
    for (uint32_t length : SliceLengths(frame, 4))
        sum += length;
    EXPECT_EQ(s0, sum);
    uint32_t end = s0;
    for (uint32_t length : SliceLengths(frame, s0))
        end += length;
    EXPECT_EQ(end, frame.size());
    EXPECT_TRUE(FrameFits(frame.data(), uint32_t(frame.size())));
    EXPECT_EQ(DeclaredFrameBytes(frame.data(), uint32_t(frame.size()) + 100), frame.size());
}

TEST(FieldLayout, SliceGeometryDealsBandsInTurn)
{
    struct Case {
        int width, height;
        uint32_t macroblocks[4];
    };
    const Case cases[] = {
        {720, 480, {8 * 45, 8 * 45, 7 * 45, 7 * 45}},
        {720, 486, {8 * 45, 8 * 45, 8 * 45, 7 * 45}},  // partial band 30 (3 lines) in slice 2
        {720, 1080, {17 * 45, 17 * 45, 17 * 45, 17 * 45}},  // partial band 67 (4 lines) in slice 3
        {720, 10, {45, 0, 0, 0}},
        {720, 17, {45, 45, 0, 0}},  // band 1 is a partial band of no line
        {1000, 32, {62, 62, 0, 0}},
        {15, 486, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        Picture picture{PIXEL_FORMAT_UYVY, c.width, c.height, false, {}};
        InstancePtr instance = MakeInstance(picture);
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(SliceMacroblockCount(instance.get(), k), c.macroblocks[k]) << c.width << "x" << c.height << " slice " << k;
    }
}

TEST(FieldLayout, OddHeightLeavesTheUncodedLinesAlone)
{
    // Height 21: the partial band holds two lines of each field, so frame
    // line 20 is neither coded nor written.
    const Picture picture = ReadVectorPicture("coffee-1008x21.uyvy", PIXEL_FORMAT_UYVY, 1008, 21, false);
    InstancePtr instance = MakeInstance(picture);
    const std::vector<uint8_t> frame = EncodeFrame(instance.get(), picture);
    Picture decoded = picture;
    std::fill(decoded.bytes.begin(), decoded.bytes.end(), 0xA5);
    ASSERT_EQ(DecodeFrame(instance.get(), frame, &decoded), FIELD_OK);
    const size_t lineBytes = LineBytes(picture);
    for (size_t i = 20 * lineBytes; i < 21 * lineBytes; ++i)
        ASSERT_EQ(decoded.bytes[i], 0xA5);
}

TEST(FieldLayout, UnalignedPicturesGiveTheSameBytes)
{
    const Picture picture = Astronaut();
    InstancePtr instance = MakeInstance(picture);
    const std::vector<uint8_t> frame = EncodeFrame(instance.get(), picture);

    // The same picture at an odd multiple of 8 from a 16-byte boundary.
    std::vector<uint8_t> storage(picture.bytes.size() + 32);
    uint8_t* shifted = storage.data() + (24 - reinterpret_cast<uintptr_t>(storage.data()) % 16);
    std::copy(picture.bytes.begin(), picture.bytes.end(), shifted);
    std::vector<uint8_t> shiftedFrame(720 * 486 * 6);
    const ptrdiff_t stride = 2 * 1440;
    EncodeField(instance.get(), shiftedFrame.data(), uint32_t(shiftedFrame.size()), shifted, stride, 0);
    shiftedFrame.resize(EncodeField(instance.get(), shiftedFrame.data(), uint32_t(shiftedFrame.size()), shifted + 1440, stride, 1));
    EXPECT_TRUE(shiftedFrame == frame);

    Picture aligned = picture;
    ASSERT_EQ(DecodeFrame(instance.get(), frame, &aligned), FIELD_OK);
    std::fill(storage.begin(), storage.end(), 0);
    DecodeField(instance.get(), frame.data(), uint32_t(frame.size()), shifted, stride, 0);
    DecodeField(instance.get(), frame.data(), uint32_t(frame.size()), shifted + 1440, stride, 1);
    EXPECT_TRUE(std::equal(aligned.bytes.begin(), aligned.bytes.end(), shifted));
}

TEST(FieldCapacity, NeverWritesPastTheBufferAndReportsAFieldThatDoesNotFit)
{
    const Picture picture = ReadVectorPicture("noise-720x486.uyvy", PIXEL_FORMAT_UYVY, 720, 486, false);
    InstancePtr instance = MakeInstance(picture, 99);
    const size_t needed = EncodeFrame(instance.get(), picture).size();
    ASSERT_GT(needed, 0u);
    for (size_t capacity : {size_t(8), size_t(16), needed / 3, needed - 1, needed + 7, needed + 8}) {
        std::vector<uint8_t> buffer(capacity + 64, 0xC3);
        const uint8_t* top = picture.bytes.data();
        uint32_t size = EncodeField(instance.get(), buffer.data(), uint32_t(capacity), top, 2 * 1440, 0);
        if (size)
            size = EncodeField(instance.get(), buffer.data(), uint32_t(capacity), top + 1440, 2 * 1440, 1);
        for (size_t i = capacity; i < buffer.size(); ++i)
            ASSERT_EQ(buffer[i], 0xC3) << "capacity " << capacity;
        // Within 8 bytes of the end the writer's reach decides; below or
        // beyond that the answer is certain.
        if (capacity < needed) {
            EXPECT_EQ(size, 0u) << "capacity " << capacity;
        } else if (capacity >= needed + 8 || size != 0) {
            EXPECT_EQ(size, needed) << "capacity " << capacity;
        }
    }
}

// Decoding from an exactly sized heap copy, so that AddressSanitizer sees
// every read outside the data.
FieldStatus DecodeCopy(CodecInstance* instance, const std::vector<uint8_t>& frame, Picture* picture)
{
    std::unique_ptr<uint8_t[]> exact(new uint8_t[frame.size()]);
    std::copy(frame.begin(), frame.end(), exact.get());
    const uint32_t size = uint32_t(frame.size());
    const ptrdiff_t lineBytes = ptrdiff_t(LineBytes(*picture));
    const FieldStatus a = DecodeField(instance, exact.get(), size, picture->bytes.data(), 2 * lineBytes, 0);
    const FieldStatus b = DecodeField(instance, exact.get(), size, picture->bytes.data() + lineBytes, 2 * lineBytes, 1);
    return a > b ? a : b;
}

TEST(FieldDamage, TruncatedFramesDecodeSafelyAndAreReported)
{
    const Picture picture = ReadVectorPicture("chelsea-720x17.uyvy", PIXEL_FORMAT_UYVY, 720, 17, false);
    InstancePtr instance = MakeInstance(picture);
    const std::vector<uint8_t> frame = EncodeFrame(instance.get(), picture);
    Picture decoded = picture;
    for (size_t size = 0; size < frame.size(); size += 7) {
        const std::vector<uint8_t> cut(frame.begin(), frame.begin() + size);
        EXPECT_NE(DecodeCopy(instance.get(), cut, &decoded), FIELD_OK) << size;
        EXPECT_FALSE(FrameFits(cut.data(), uint32_t(cut.size())));
    }
    EXPECT_EQ(DecodeCopy(instance.get(), frame, &decoded), FIELD_OK);
}

TEST(FieldDamage, CorruptLengthsAndBitsNeverLeaveTheData)
{
    const Picture picture = ReadVectorPicture("coffee-1008x21.uyvy", PIXEL_FORMAT_UYVY, 1008, 21, false);
    InstancePtr instance = MakeInstance(picture);
    const std::vector<uint8_t> frame = EncodeFrame(instance.get(), picture);
    const uint32_t seed = std::random_device{}();
    std::mt19937 random(seed);
    SCOPED_TRACE("seed " + std::to_string(seed));
    Picture decoded = picture;
    for (int trial = 0; trial < 300; ++trial) {
        std::vector<uint8_t> damaged = frame;
        const int changes = 1 + int(random() % 8);
        for (int i = 0; i < changes; ++i) {
            // Mostly the header and slice lengths, sometimes anywhere.
            const size_t at = random() % 2 ? random() % 16 : random() % damaged.size();
            damaged[at] = uint8_t(random());
        }
        if (random() % 4 == 0)
            damaged.resize(random() % damaged.size());
        const FieldStatus status = DecodeCopy(instance.get(), damaged, &decoded);
        EXPECT_TRUE(status == FIELD_OK || status == FIELD_DAMAGED || status == FIELD_REFUSED);
    }
}

// A slice must end in the last byte its length gives: one byte of slack
// changes no pixel but is damage all the same, and so are flipped bytes that
// make the blocks read fewer or more bits than were written.
TEST(FieldDamage, SlicesThatDoNotEndAtTheirLengthAreReported)
{
    const Picture picture = Astronaut();
    InstancePtr instance = MakeInstance(picture);
    const std::vector<uint8_t> frame = EncodeFrame(instance.get(), picture);
    Picture clean = picture;
    ASSERT_EQ(DecodeCopy(instance.get(), frame, &clean), FIELD_OK);

    const auto put24 = [](std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
        bytes[at] = uint8_t(value);
        bytes[at + 1] = uint8_t(value >> 8);
        bytes[at + 2] = uint8_t(value >> 16);
    };
    const uint32_t s0 = frame[1] | frame[2] << 8 | frame[3] << 16;
    const std::vector<uint32_t> lengths = SliceLengths(frame, 4);
    std::vector<uint8_t> slack = frame;
    const size_t slice1 = 4 + lengths[0];
    slack.insert(slack.begin() + ptrdiff_t(slice1 + lengths[1]), 0);
    put24(slack, slice1, lengths[1] + 1);
    put24(slack, 1, s0 + 1);
    Picture decoded = picture;
    EXPECT_EQ(DecodeCopy(instance.get(), slack, &decoded), FIELD_DAMAGED);
    EXPECT_TRUE(decoded.bytes == clean.bytes);

    int reported = 0;
    constexpr int FLIPS = 40;
    for (int i = 0; i < FLIPS; ++i) {
        std::vector<uint8_t> flipped = frame;
        flipped[s0 + 100 + size_t(i) * (frame.size() - s0 - 200) / FLIPS] ^= 0xFF;
        reported += DecodeCopy(instance.get(), flipped, &decoded) == FIELD_DAMAGED;
    }
    // A flip that keeps the codes' lengths (inside a DC value or a mantissa),
    // or whose misread codes fall back into step within the same block,
    // cannot be seen this way; the rest change where the slice ends. Running
    // past the end alone caught 8 of these 40.
    EXPECT_GE(reported, FLIPS / 3) << reported;
}

TEST(FieldDamage, ImpossibleFieldOneOffsetIsRefused)
{
    const Picture picture = Astronaut();
    InstancePtr instance = MakeInstance(picture);
    std::vector<uint8_t> frame = EncodeFrame(instance.get(), picture);
    frame[3] = 0x7F;  // S0 far beyond the frame
    Picture decoded = picture;
    EXPECT_EQ(DecodeCopy(instance.get(), frame, &decoded), FIELD_REFUSED);
    EXPECT_EQ(DeclaredFrameBytes(frame.data(), uint32_t(frame.size())), 0u);
}

}  // namespace
