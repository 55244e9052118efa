// SPDX-License-Identifier: BSD-2-Clause
// Runs every fast tier of the block coder against its plain twin on random
// inputs: every output byte, a guard border and the cursor state must agree.
// The seed is printed; QF25_CHECK_SEED=<seed> replays a run.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/CheckRounds.h"
#include "support/CoefficientBlocks.h"
#include "support/EntropyTwins.h"

namespace {

// Close to a million blocks each way in an optimised build; a quarter under
// the sanitizers, a sixteenth unoptimised.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QF25_CHECK_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define QF25_CHECK_SANITIZED 1
#endif
#endif
#if !defined(__OPTIMIZE__)
constexpr int CHECK_DIVISOR = 16;
#elif defined(QF25_CHECK_SANITIZED)
constexpr int CHECK_DIVISOR = 4;
#else
constexpr int CHECK_DIVISOR = 1;
#endif

uint64_t CheckSeed(const char* test)
{
    const char* given = std::getenv("QF25_CHECK_SEED");
    const uint64_t seed = given ? std::strtoull(given, nullptr, 0)
                                : uint64_t(std::chrono::steady_clock::now().time_since_epoch().count());
    std::printf("[ seed     ] %s: QF25_CHECK_SEED=%llu\n", test, static_cast<unsigned long long>(seed));
    ::testing::Test::RecordProperty("seed", std::to_string(seed));
    return seed;
}

void FillRandom(TestRandom* r, std::vector<uint8_t>* bytes)
{
    for (size_t i = 0; i < bytes->size(); i += 8) {
        const uint64_t v = NextRandom(r);
        std::memcpy(bytes->data() + i, &v, std::min<size_t>(8, bytes->size() - i));
    }
}

// Realistic blocks (half of them), sparse and dense random ones, extremes,
// and the shortest blocks: DC only, or one value anywhere, now and then just
// inside or just outside the code's range.
struct BlockSource {
    std::vector<Block> photos;
};

BlockSource MakeBlockSource(TestRandom* r)
{
    BlockSource source{std::vector<Block>(1024)};
    for (Block& b : source.photos)
        MakePhotoBlock(r, &b, RandomBetween(r, 50, 99));
    return source;
}

void MakeCheckBlock(TestRandom* r, const BlockSource& source, Block* b)
{
    switch (RandomBelow(r, 8)) {
    case 0:
    case 1:
    case 2:
    case 3:
        *b = source.photos[RandomBelow(r, uint32_t(source.photos.size()))];
        break;
    case 4:
        MakeSparseBlock(r, b, RandomBelow(r, 65));
        break;
    case 5:
        MakeSparseBlock(r, b, RandomBelow(r, 6));
        break;
    case 6:
        MakeExtremeBlock(r, b);
        break;
    default:
        *b = Block{};
        b->v[0] = int16_t(RandomBelow(r, 4096));
        if (RandomBelow(r, 2)) {
            static const int16_t EDGES[] = {VALUE_CODE_LIMIT, -VALUE_CODE_LIMIT, VALUE_CODE_LIMIT + 1,
                                            -VALUE_CODE_LIMIT - 1};
            b->v[RandomBetween(r, 1, 63)] = RandomBelow(r, 4) ? RandomCodedValue(r) : EDGES[RandomBelow(r, 4)];
        }
        break;
    }
}

// Bytes whose bits are ones with probability 1/16, 1/4, 1/2, 3/4 or 15/16,
// to reach the long codes and the long zero runs as well as the short ones.
void FillBiased(TestRandom* r, std::vector<uint8_t>* bytes)
{
    const unsigned bias = RandomBelow(r, 5);
    for (uint8_t& byte : *bytes) {
        const uint64_t a = NextRandom(r);
        const unsigned x = unsigned(a), y = unsigned(a >> 8), z = unsigned(a >> 16), w = unsigned(a >> 24);
        const unsigned bits[] = {x & y & z & w, x & y, x, x | y, x | y | z | w};
        byte = uint8_t(bits[bias]);
    }
}

// A stream for the decoders: blocks from the plain encoder, perhaps with a few
// bits flipped or cut short, or biased random bytes. Exactly sized, so a read
// past its end trips the address sanitizer.
std::vector<uint8_t> MakeCheckStream(TestRandom* r, const BlockSource& source, const EntropyTables* tables)
{
    std::vector<uint8_t> bytes;
    if (RandomBelow(r, 4) == 0) {
        bytes.resize(RandomBelow(r, 1200));
        FillBiased(r, &bytes);
        return bytes;
    }
    const int blocks = RandomBetween(r, 1, 12);
    std::vector<uint8_t> buffer(blocks * MAX_BLOCK_BYTES + 16);
    BitWriter w;
    Reset(&w, buffer.data(), uint32_t(buffer.size()));
    Block b;
    for (int i = 0; i < blocks; ++i) {
        MakeCheckBlock(r, source, &b);
        EncodeBlockPlain(&b, tables, &w);
    }
    uint32_t size = BytesUsed(&w);
    if (RandomBelow(r, 4) == 0)
        size = RandomBelow(r, size + 1);
    bytes.assign(buffer.begin(), buffer.begin() + size);
    if (size && RandomBelow(r, 3) == 0) {
        for (int flips = RandomBetween(r, 1, 3); flips > 0; --flips) {
            const uint32_t bit = RandomBelow(r, size * 8);
            bytes[bit / 8] ^= uint8_t(1u << (bit % 8));
        }
    }
    return bytes;
}

}  // namespace

TEST(EntropyKernelCheck, FastEncodersMatchPlain)
{
    const uint64_t seed = CheckSeed("FastEncodersMatchPlain");
    TestRandom random{seed};
    const auto tables = MakeEntropyTables();
    const EntropyKernels plain = EntropyKernelsFor(0);
    const BlockSource source = MakeBlockSource(&random);

    constexpr int RUN = 8;  // blocks written back to back, as in a slice
    constexpr uint32_t GUARD = 32;
    const uint32_t fullCapacity = RUN * MAX_BLOCK_BYTES + 64;
    std::vector<uint8_t> original(fullCapacity + GUARD);
    std::vector<uint8_t> expected(original.size());
    std::vector<uint8_t> actual(original.size());
    const int rounds = CheckRounds(100000 / CHECK_DIVISOR);
    for (const EntropyTier& tier : FastEntropyTiers()) {
        SCOPED_TRACE(tier.name);
        for (int round = 0; round < rounds; ++round) {
            // Now and then a capacity that runs out within the run.
            const uint32_t capacity =
                RandomBelow(&random, 8) ? fullCapacity : RandomBelow(&random, fullCapacity);
            FillRandom(&random, &original);
            expected = original;
            actual = original;
            const uint32_t start = RandomBelow(&random, 64);
            BitWriter we{start, expected.data(), capacity, false};
            BitWriter wa{start, actual.data(), capacity, false};
            Block natural[RUN];
            for (Block& b : natural) {
                Block scan;
                MakeCheckBlock(&random, source, &scan);
                b = NaturalOrder(scan);
            }
            // One to eight blocks a call: a macroblock's four share one sink,
            // and longer runs cross the kernels' groups of four.
            for (int i = 0, count; i < RUN; i += count) {
                count = std::min(RUN - i, RandomBetween(&random, 1, RUN));
                plain.encodeNaturalBlocks(natural + i, count, tables.get(), &we);
                tier.kernels.encodeNaturalBlocks(natural + i, count, tables.get(), &wa);
                if (we.position != wa.position || we.overflow != wa.overflow || expected != actual) {
                    FAIL() << "seed " << seed << " round " << round << " blocks " << i << ".." << i + count - 1
                           << " start " << start << " capacity " << capacity << ": position " << we.position
                           << " vs " << wa.position << ", overflow " << we.overflow << " vs " << wa.overflow;
                }
            }
            if (!std::equal(expected.begin() + capacity, expected.end(), original.begin() + capacity))
                FAIL() << "seed " << seed << " round " << round << ": written past capacity " << capacity;
        }
    }
}

// Decodes blocks one after another until the data is used up (a stream of
// zeros past the end still ends every block), one to four at a call, as a
// macroblock's share one window; both decoders must leave the same
// coefficients and the same position after every call.
void ExpectSameDecoding(const EntropyKernels& plain, const EntropyKernels& fast, const std::vector<uint8_t>& stream,
                        uint32_t start, const std::string& what, int blocks = 32)
{
    const uint32_t size = uint32_t(stream.size());
    BitReader rp{start, stream.data(), size};
    BitReader rf = rp;
    for (int block = 0; block < blocks && uint64_t(rp.position) < uint64_t(size) * 8 + 8;) {
        const int count = 1 + (block + int(start)) % 4;
        Block bp[4];
        Block bf[4];
        std::memset(bf, 0x55, sizeof bf);
        plain.decodeBlocks(&rp, bp, count);
        fast.decodeBlocks(&rf, bf, count);
        if (rp.position != rf.position || std::memcmp(bp, bf, count * sizeof bp[0]) != 0) {
            FAIL() << what << " blocks " << block << ".." << block + count - 1 << " size " << size << ": position "
                   << rp.position << " vs " << rf.position;
        }
        block += count;
    }
}

TEST(EntropyKernelCheck, FastDecodersMatchPlain)
{
    const uint64_t seed = CheckSeed("FastDecodersMatchPlain");
    TestRandom random{seed};
    const auto tables = MakeEntropyTables();
    const EntropyKernels plain = EntropyKernelsFor(0);
    const BlockSource source = MakeBlockSource(&random);

    const int rounds = CheckRounds(80000 / CHECK_DIVISOR);
    for (const EntropyTier& tier : FastEntropyTiers()) {
        for (int round = 0; round < rounds; ++round) {
            const std::vector<uint8_t> stream = MakeCheckStream(&random, source, tables.get());
            const uint32_t start = RandomBelow(&random, 8);
            ASSERT_NO_FATAL_FAILURE(ExpectSameDecoding(plain, tier.kernels, stream, start,
                                                       std::string(tier.name) + " seed " + std::to_string(seed) +
                                                           " round " + std::to_string(round)));
        }
    }
}

// Every 11-bit window the fast decoders classify at once, met at every scan
// position: [0 0] codes lead to position t, the window follows, then random
// bits, and the next block starts wherever this one ended. Near position 63
// an entry may hold codes that end the block early.
TEST(EntropyKernelCheck, EveryWindowAtEveryPosition)
{
    const uint64_t seed = CheckSeed("EveryWindowAtEveryPosition");
    TestRandom random{seed};
    const EntropyKernels plain = EntropyKernelsFor(0);
    const std::vector<EntropyTier> tiers = FastEntropyTiers();
    std::vector<uint8_t> stream(256);
    for (int t = 1; t <= 63; ++t) {
        for (uint32_t window = 0; window < 2048; ++window) {
            FillRandom(&random, &stream);
            const uint32_t start = RandomBelow(&random, 8);
            uint32_t bit = start;
            auto put = [&](uint32_t value, int count) {
                for (int i = 0; i < count; ++i, ++bit) {
                    const uint8_t mask = uint8_t(1u << (bit % 8));
                    stream[bit / 8] = uint8_t((stream[bit / 8] & ~mask) | (value >> i & 1 ? mask : 0));
                }
            };
            put(0x5A5, 12);
            for (int k = 1; k < t; ++k)
                put(0, 2);
            put(window, 11);
            for (const EntropyTier& tier : tiers) {
                ASSERT_NO_FATAL_FAILURE(ExpectSameDecoding(plain, tier.kernels, stream, start,
                                                           std::string(tier.name) + " t " + std::to_string(t) +
                                                               " window " + std::to_string(window),
                                                           2));
            }
        }
    }
}

// The longest blocks a decoder can meet, valid (63 values of 22 bits and the
// end of block) and corrupt (a 64th long value), ending at every distance
// from the end of the data: the fast decoder's window must stay inside it.
TEST(EntropyKernelCheck, LongestBlocksAtTheEndOfData)
{
    const EntropyKernels plain = EntropyKernelsFor(0);
    const std::vector<EntropyTier> tiers = FastEntropyTiers();
    for (const int values : {63, 64}) {
        for (uint32_t start = 0; start < 32; ++start) {
            std::vector<bool> bits(start, false);
            bits.insert(bits.end(), 12, true);  // DC 4095
            for (int i = 0; i < values; ++i) {
                bits.insert(bits.end(), 10, true);  // class 10, then sign and mantissa
                for (int j = 0; j < 12; ++j)
                    bits.push_back((i + j) % 3 == 0);
            }
            if (values == 63)
                bits.insert(bits.end(), {false, true, true, true, true});
            const uint32_t end = uint32_t(bits.size() + 7) / 8;
            for (uint32_t size = end - 8; size <= end + 24; ++size) {
                std::vector<uint8_t> stream(size, 0);
                for (uint32_t i = 0; i < bits.size() && i / 8 < size; ++i)
                    stream[i / 8] |= uint8_t(bits[i] << (i % 8));
                BitReader rp{start, stream.data(), size};
                Block bp;
                plain.decodeBlocks(&rp, &bp, 1);
                if (size >= end) {
                    ASSERT_EQ(rp.position, bits.size());
                }
                for (const EntropyTier& tier : tiers) {
                    BitReader rf{start, stream.data(), size};
                    Block bf;
                    tier.kernels.decodeBlocks(&rf, &bf, 1);
                    ASSERT_EQ(rp.position, rf.position)
                        << tier.name << ": " << values << " values, start " << start << ", size " << size;
                    ASSERT_EQ(std::memcmp(&bp, &bf, sizeof bp), 0) << tier.name << ": " << values << " values";
                }
            }
        }
    }
}
