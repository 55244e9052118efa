// SPDX-License-Identifier: BSD-2-Clause
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "entropy/BitReader.h"
#include "entropy/BitWriter.h"
#include "support/CoefficientBlocks.h"

namespace {

bool BitAt(const uint8_t* bytes, uint32_t i)
{
    return bytes[i / 8] >> (i % 8) & 1;
}

}  // namespace

TEST(BitWriter, PacksLeastSignificantBitFirst)
{
    uint8_t buffer[16];
    BitWriter w;
    Reset(&w, buffer, sizeof buffer);
    EXPECT_EQ(BytesUsed(&w), 0u);
    PutBits(&w, 5, 3);
    PutBits(&w, 1, 1);
    EXPECT_EQ(buffer[0], 0x0D);
    EXPECT_EQ(w.position, 4u);
    EXPECT_EQ(BytesUsed(&w), 1u);
    SetPosition(&w, 8);
    EXPECT_EQ(BytesUsed(&w), 1u);
    SetPosition(&w, 9);
    EXPECT_EQ(BytesUsed(&w), 2u);
    EXPECT_FALSE(w.overflow);
}

TEST(BitWriter, ResetClearsSixteenBytes)
{
    uint8_t buffer[20];
    std::memset(buffer, 0xEE, sizeof buffer);
    BitWriter w;
    Reset(&w, buffer, sizeof buffer);
    PutBits(&w, 1, 1);
    for (int i = 1; i < 16; ++i)
        EXPECT_EQ(buffer[i], 0) << i;
    EXPECT_EQ(buffer[16], 0xEE);
}

// Over garbage: bits below the position and bytes outside the 8-byte reach
// stay, the value lands in place, and everything after it up to the end of
// byte position/8 + 7 becomes zero.
TEST(BitWriter, KeepsWrittenBitsAndClearsAhead)
{
    TestRandom random{7};
    for (uint32_t p = 0; p < 48; ++p) {
        for (unsigned n = 1; n <= 25; ++n) {
            uint8_t before[24];
            for (uint8_t& b : before)
                b = uint8_t(NextRandom(&random));
            uint8_t after[24];
            std::memcpy(after, before, sizeof after);
            const uint32_t value = uint32_t(NextRandom(&random)) & ((1u << n) - 1);
            BitWriter w{p, after, sizeof after, false};
            PutBits(&w, value, n);
            ASSERT_EQ(w.position, p + n);
            for (uint32_t i = 0; i < 8 * sizeof after; ++i) {
                bool expected = BitAt(before, i);
                if (i >= p && i < p + n)
                    expected = value >> (i - p) & 1;
                else if (i >= p + n && i / 8 <= p / 8 + 7)
                    expected = false;
                ASSERT_EQ(BitAt(after, i), expected) << "p " << p << " n " << n << " bit " << i;
            }
        }
    }
}

// A write that would reach past the capacity is not made: the guard bytes
// keep their values, the overflow is reported and the position still moves.
TEST(BitWriter, NeverWritesPastItsCapacity)
{
    std::vector<uint8_t> buffer(40, 0xA5);
    BitWriter w;
    Reset(&w, buffer.data(), 24);
    uint32_t expectedPosition = 0;
    while (!w.overflow) {
        PutBits(&w, 0x1FFFFFF, 25);
        expectedPosition += 25;
    }
    EXPECT_EQ(w.position, expectedPosition);
    for (size_t i = 24; i < buffer.size(); ++i)
        EXPECT_EQ(buffer[i], 0xA5) << i;
    EXPECT_FALSE(HasRoom(&w, 0));
}

TEST(BitReader, PeeksGetsAndSkips)
{
    const uint8_t bytes[] = {0xF0, 0xFF, 0x0F, 0x00, 0x00, 0x00};
    BitReader r;
    Reset(&r, bytes, sizeof bytes);
    SkipBits(&r, 4);
    EXPECT_EQ(PeekBits(&r, 12), 0xFFFu);
    EXPECT_EQ(r.position, 4u);
    EXPECT_EQ(GetBits(&r, 13), 0x1FFFu);
    EXPECT_EQ(r.position, 17u);
    EXPECT_EQ(BytesUsed(&r), 3u);
    Rewind(&r);
    EXPECT_EQ(GetBits(&r, 4), 0u);
}

// An exactly sized heap buffer, so the sanitizer sees any read past its end.
TEST(BitReader, ReadsZerosPastTheEnd)
{
    const std::vector<uint8_t> bytes = {0xFF, 0xFF, 0xFF};
    BitReader r;
    Reset(&r, bytes.data(), uint32_t(bytes.size()));
    SetPosition(&r, 20);
    EXPECT_EQ(PeekBits(&r, 8), 0x0Fu);
    SetPosition(&r, 24);
    EXPECT_EQ(PeekBits(&r, 25), 0u);
    EXPECT_FALSE(PastEnd(&r));
    SetPosition(&r, 1000);
    EXPECT_EQ(GetBits(&r, 25), 0u);
    EXPECT_TRUE(PastEnd(&r));
}
