// SPDX-License-Identifier: BSD-2-Clause
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "support/CoefficientBlocks.h"
#include "support/EntropyTwins.h"

namespace {

constexpr uint32_t STREAM_BYTES = 4096;  // enough for the fast paths to run
const std::string END = "01111";

// `count` bits of `value`, least significant first: stream order.
std::string Bits(uint32_t value, int count)
{
    std::string s;
    for (int i = 0; i < count; ++i)
        s += char('0' + (value >> i & 1));
    return s;
}

std::string Repeat(const std::string& s, int times)
{
    std::string out;
    for (int i = 0; i < times; ++i)
        out += s;
    return out;
}

// A scan-order block from (position, value) pairs.
Block ScanBlock(std::initializer_list<std::pair<int, int>> coefficients)
{
    Block b{};
    for (const auto& [k, v] : coefficients)
        b.v[k] = int16_t(v);
    return b;
}

struct Encoded {
    std::vector<uint8_t> bytes;
    uint32_t bits;
};

// Codes a scan-order block through a kernel, which takes natural order.
Encoded Encode(EncodeBlocksFn encode, const EntropyTables* tables, const Block& scan)
{
    Encoded e{std::vector<uint8_t>(STREAM_BYTES, 0xCC), 0};
    BitWriter w;
    Reset(&w, e.bytes.data(), STREAM_BYTES);
    const Block natural = NaturalOrder(scan);
    encode(&natural, 1, tables, &w);
    EXPECT_FALSE(w.overflow);
    e.bits = w.position;
    return e;
}

std::string StreamBits(const Encoded& e)
{
    std::string s;
    for (uint32_t i = 0; i < e.bits; ++i)
        s += char('0' + (e.bytes[i / 8] >> (i % 8) & 1));
    return s;
}

std::vector<uint8_t> StreamFromBits(const std::string& bits, size_t bytes)
{
    std::vector<uint8_t> out(bytes, 0);
    for (size_t i = 0; i < bits.size(); ++i)
        out[i / 8] |= uint8_t((bits[i] - '0') << (i % 8));
    return out;
}

// Decodes one block into storage full of garbage, which the decoder must clear.
Block DecodeOne(DecodeBlocksFn decode, const std::vector<uint8_t>& stream, uint32_t* position)
{
    BitReader r;
    Reset(&r, stream.data(), uint32_t(stream.size()));
    Block b;
    std::fill(std::begin(b.v), std::end(b.v), int16_t(0x7777));
    decode(&r, &b, 1);
    *position = r.position;
    return b;
}

void ExpectBlocksEqual(const Block& expected, const Block& actual)
{
    for (int i = 0; i < 64; ++i)
        ASSERT_EQ(expected.v[i], actual.v[i]) << "natural index " << i;
}

// Encodes with every tier, expects `bits`, and decodes back to `scan` with
// every tier.
void ExpectCode(const EntropyTables* tables, const Block& scan, const std::string& bits)
{
    for (const EntropyTier& encoder : EntropyTiers()) {
        SCOPED_TRACE(encoder.name);
        const Encoded e = Encode(encoder.kernels.encodeNaturalBlocks, tables, scan);
        ASSERT_EQ(StreamBits(e), bits);
        for (const EntropyTier& decoder : EntropyTiers()) {
            SCOPED_TRACE(decoder.name);
            uint32_t position;
            ExpectBlocksEqual(NaturalOrder(scan), DecodeOne(decoder.kernels.decodeBlocks, e.bytes, &position));
            EXPECT_EQ(position, e.bits);
        }
    }
}

}  // namespace

TEST(EntropyTables, ScanOrderAndZeroRuns)
{
    const uint8_t begin[] = {0, 1, 8, 16, 9, 2, 3, 10, 17, 24};
    EXPECT_TRUE(std::equal(std::begin(begin), std::end(begin), ZigzagOrder));
    EXPECT_EQ(ZigzagOrder[60], 47);
    EXPECT_EQ(ZigzagOrder[63], 63);
    std::vector<uint8_t> sorted(ZigzagOrder, ZigzagOrder + 64);
    std::sort(sorted.begin(), sorted.end());
    for (int i = 0; i < 64; ++i)
        ASSERT_EQ(sorted[i], i);

    Block natural;
    for (int i = 0; i < 64; ++i)
        natural.v[i] = int16_t(i * 3 - 90);
    Block scan;
    ZigzagReorder(&natural, &scan);
    ExpectBlocksEqual(natural, NaturalOrder(scan));

    // Only the lowest clear flag matters.
    const auto tables = MakeEntropyTables();
    const std::pair<unsigned, std::pair<int, int>> rows[] = {
        {0x00, {0, 0x12}}, {0xFE, {0, 0x12}}, {0x01, {0, 0x24}}, {0x03, {2, 0x35}},
        {0xB7, {6, 0x45}}, {0x0F, {10, 0x55}}, {0x1F, {14, 0x65}}, {0x3F, {18, 0x75}},
        {0x7F, {22, 0x85}}, {0xFF, {26, 0x95}}};
    for (const auto& [index, entry] : rows) {
        EXPECT_EQ(tables->zeroRunCodes[index][0], entry.first) << index;
        EXPECT_EQ(tables->zeroRunCodes[index][1], entry.second) << index;
    }
}

TEST(EntropyCode, WorkedExample)
{
    const auto tables = MakeEntropyTables();
    const Block scan = ScanBlock({{0, 100}, {1, -3}, {2, 1}, {6, 12}, {7, -600}});
    ExpectCode(tables.get(), scan,
               "001001100000" "11011" "100" "01000" "111100001" "1111111111" "1" "00011010000" +
                   END);
    for (const EntropyTier& encoder : EntropyTiers()) {
        const Encoded e = Encode(encoder.kernels.encodeNaturalBlocks, tables.get(), scan);
        const std::vector<uint8_t> expected = {0x64, 0xB0, 0x23, 0x1E, 0xFE, 0x1F, 0x0B, 0x1E};
        EXPECT_EQ(std::vector<uint8_t>(e.bytes.begin(), e.bytes.begin() + 8), expected) << encoder.name;
    }
}

TEST(EntropyCode, ZeroRunsAndBlockEnds)
{
    const auto tables = MakeEntropyTables();
    const std::string one = "100";
    EXPECT_NO_FATAL_FAILURE(ExpectCode(tables.get(), ScanBlock({}), Bits(0, 12) + END));
    EXPECT_NO_FATAL_FAILURE(ExpectCode(tables.get(), ScanBlock({{0, 4095}}), Bits(4095, 12) + END));
    EXPECT_NO_FATAL_FAILURE(ExpectCode(tables.get(), ScanBlock({{2, 1}}), Bits(0, 12) + "00" + one + END));
    EXPECT_NO_FATAL_FAILURE(
        ExpectCode(tables.get(), ScanBlock({{3, 1}}), Bits(0, 12) + "0000" + one + END));
    EXPECT_NO_FATAL_FAILURE(
        ExpectCode(tables.get(), ScanBlock({{4, 1}}), Bits(0, 12) + "01000" + one + END));
    EXPECT_NO_FATAL_FAILURE(
        ExpectCode(tables.get(), ScanBlock({{11, 1}}), Bits(0, 12) + "01011" "00" + one + END));
    EXPECT_NO_FATAL_FAILURE(
        ExpectCode(tables.get(), ScanBlock({{13, 1}}), Bits(0, 12) + "01011" "01000" + one + END));
    const std::string lastOnly = Bits(5, 12) + Repeat("01011", 6) + "01101" + one + END;
    EXPECT_EQ(lastOnly.size(), 55u);
    EXPECT_NO_FATAL_FAILURE(ExpectCode(tables.get(), ScanBlock({{0, 5}, {63, 1}}), lastOnly));
    Block full;
    std::fill(std::begin(full.v), std::end(full.v), int16_t(1));
    EXPECT_NO_FATAL_FAILURE(ExpectCode(tables.get(), full, Bits(1, 12) + Repeat(one, 63) + END));
}

TEST(EntropyCode, ValueCodeLengths)
{
    const auto tables = MakeEntropyTables();
    const std::pair<int, uint32_t> cases[] = {{1, 3},    {2, 5},    {3, 5},   {4, 7},
                                              {31, 11},  {32, 13},  {255, 17}, {511, 19},
                                              {512, 22}, {2559, 22}};
    for (const EntropyTier& encoder : EntropyTiers()) {
        for (const auto& [magnitude, length] : cases) {
            for (const int v : {magnitude, -magnitude}) {
                const Block scan = ScanBlock({{1, v}});
                const Encoded e = Encode(encoder.kernels.encodeNaturalBlocks, tables.get(), scan);
                EXPECT_EQ(e.bits, 12 + length + END.size()) << encoder.name << " " << v;
                for (const EntropyTier& decoder : EntropyTiers()) {
                    uint32_t position;
                    const Block decoded = DecodeOne(decoder.kernels.decodeBlocks, e.bytes, &position);
                    EXPECT_EQ(decoded.v[1], v) << encoder.name << " " << decoder.name;
                    EXPECT_EQ(position, e.bits);
                }
            }
        }
    }
}

// The DC saturates into its 12 bits, the AC values into +-2559.
TEST(EntropyCode, SaturatesValuesOutsideTheCode)
{
    const auto tables = MakeEntropyTables();
    const std::pair<Block, Block> cases[] = {
        {ScanBlock({{0, -5}, {1, 3000}, {2, -32768}, {3, 32767}, {5, -2560}}),
         ScanBlock({{0, 0}, {1, 2559}, {2, -2559}, {3, 2559}, {5, -2559}})},
        {ScanBlock({{0, 4096}, {63, -4000}}), ScanBlock({{0, 4095}, {63, -2559}})},
        {ScanBlock({{0, -32768}}), ScanBlock({})},
    };
    for (const auto& [input, saturated] : cases) {
        for (const EntropyTier& encoder : EntropyTiers()) {
            const Encoded e = Encode(encoder.kernels.encodeNaturalBlocks, tables.get(), input);
            EXPECT_EQ(StreamBits(e), StreamBits(Encode(EncodeNaturalBlocksPlain, tables.get(), saturated)))
                << encoder.name;
        }
    }
}

// Codes that a valid block cannot hold end the block without a write outside
// it; a stream cut short reads zeros, so its block ends after 63 [0 0] codes.
TEST(EntropyCode, CorruptBlocksEndInsideTheBlock)
{
    const std::string dc = Bits(0x123, 12);
    struct Case {
        std::string bits;
        uint32_t endsAt;
        int ones;  // coefficients 1..ones are +1
    };
    const Case cases[] = {
        {dc + Repeat("00", 63) + "100", 12 + 126, 0},         // t reaches 64 through zeros
        {dc + Repeat("01011", 7) + "100", 12 + 35, 0},        // a run carries t to 64
        {dc + Repeat("01011", 6) + "01101" + "01011", 12 + 40, 0},  // and past it
        {dc + Repeat("100", 63) + "100" + "100", 12 + 192, 63},     // a value read at t = 64
        {dc + Repeat("100", 63) + "00" + "100", 12 + 191, 63},      // a zero read at t = 64
        {dc + Repeat("100", 63) + "1111111111" + Bits(0, 12), 12 + 211, 63},  // a long one
        {dc + Repeat("100", 60) + "000000" + END, 12 + 186, 60},    // the third zero ends it
        {dc + Repeat("100", 61) + "000000" + END, 12 + 187, 61},    // the second zero ends it
        {dc + Repeat("100", 62) + "00100" + END, 12 + 188, 62},     // the zero ends it
        {dc + "01000" + Repeat("00", 60) + "100", 12 + 125, 0},     // a run, then zeros to 64
    };
    for (const Case& c : cases) {
        Block expected{};
        expected.v[0] = 0x123;
        for (int k = 1; k <= c.ones; ++k)
            expected.v[ZigzagOrder[k]] = 1;
        for (const size_t bytes : {size_t(STREAM_BYTES), (c.bits.size() + 7) / 8}) {
            const std::vector<uint8_t> stream = StreamFromBits(c.bits, bytes);
            for (const EntropyTier& decoder : EntropyTiers()) {
                SCOPED_TRACE(std::string(decoder.name) + " " + c.bits);
                uint32_t position;
                ExpectBlocksEqual(expected, DecodeOne(decoder.kernels.decodeBlocks, stream, &position));
                EXPECT_EQ(position, c.endsAt);
            }
        }
    }
    // Cut after the DC, or before the block: zeros to 64, read as codes or
    // taken at once, end at the same bit.
    const std::vector<uint8_t> truncated = {0x23, 0x01};
    for (const EntropyTier& decoder : EntropyTiers()) {
        uint32_t position;
        Block expected{};
        expected.v[0] = 0x123;
        ExpectBlocksEqual(expected, DecodeOne(decoder.kernels.decodeBlocks, truncated, &position));
        EXPECT_EQ(position, 12u + 126) << decoder.name;
        ExpectBlocksEqual(Block{}, DecodeOne(decoder.kernels.decodeBlocks, {}, &position));
        EXPECT_EQ(position, 12u + 126) << decoder.name;
    }
}

// Blocks written one after the other, as in a slice, come back unchanged
// through every pairing of encoder and decoder.
TEST(EntropyCode, RandomBlocksRoundTrip)
{
    const auto tables = MakeEntropyTables();
    TestRandom random{12345};
    std::vector<Block> blocks(600);
    for (size_t i = 0; i < blocks.size(); ++i) {
        if (i % 3 == 0)
            MakePhotoBlock(&random, &blocks[i], 50 + int(i % 50));
        else
            MakeSparseBlock(&random, &blocks[i], unsigned(i % 65));
    }
    for (const EntropyTier& encoder : EntropyTiers()) {
        std::vector<uint8_t> stream(blocks.size() * MAX_BLOCK_BYTES + 64);
        BitWriter w;
        Reset(&w, stream.data(), uint32_t(stream.size()));
        for (const Block& b : blocks) {
            const Block natural = NaturalOrder(b);
            encoder.kernels.encodeNaturalBlocks(&natural, 1, tables.get(), &w);
        }
        ASSERT_FALSE(w.overflow);
        // Exactly sized, so the last blocks take the plain path.
        const std::vector<uint8_t> exact(stream.begin(), stream.begin() + BytesUsed(&w));
        for (const EntropyTier& decoder : EntropyTiers()) {
            SCOPED_TRACE(std::string(encoder.name) + " -> " + decoder.name);
            BitReader r;
            Reset(&r, exact.data(), uint32_t(exact.size()));
            for (const Block& b : blocks) {
                Block decoded;
                decoder.kernels.decodeBlocks(&r, &decoded, 1);
                ASSERT_NO_FATAL_FAILURE(ExpectBlocksEqual(NaturalOrder(b), decoded));
            }
            EXPECT_EQ(r.position, w.position);
        }
    }
}

// The longest block, 1403 bits, has its end of block start 1398 bits in, and
// PutBits there reaches 8 bytes; with less room than that, the writer reports
// the overflow and touches nothing past its capacity, wherever the block starts.
TEST(EntropyCode, SmallWriterReportsOverflow)
{
    const auto tables = MakeEntropyTables();
    Block longest;
    for (int k = 0; k < 64; ++k)
        longest.v[k] = int16_t(k % 2 ? 2559 : -2559);
    constexpr uint32_t GUARD = 32;
    for (const EntropyTier& encoder : EntropyTiers()) {
        for (uint32_t start = 0; start < 64; ++start) {
            const uint32_t needed = (start + 1398) / 8 + BIT_WRITER_REACH;
            for (uint32_t capacity = needed - 12; capacity <= needed + 8; ++capacity) {
                std::vector<uint8_t> buffer(capacity + GUARD, 0xA5);
                BitWriter w{start, buffer.data(), capacity, false};
                encoder.kernels.encodeNaturalBlocks(&longest, 1, tables.get(), &w);
                SCOPED_TRACE(std::string(encoder.name) + " start " + std::to_string(start) + " capacity " +
                             std::to_string(capacity));
                EXPECT_EQ(w.position, start + 1403);
                EXPECT_EQ(w.overflow, capacity < needed);
                for (uint32_t i = capacity; i < buffer.size(); ++i)
                    ASSERT_EQ(buffer[i], 0xA5) << "byte " << i;
            }
        }
    }
}
