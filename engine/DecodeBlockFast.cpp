// The fast block decoder. A 64-bit window over the stream, refilled a whole
// 32-bit word at a time, feeds two 64-entry tables: the first classifies the
// next 6 bits and decodes up to two short codes at once (pairs of [0 0] and +-1,
// three [0 0]), a run, the end of block, +-2, +-3, or classes 3 and 4 with
// their mantissa taken from the window; codes beginning 1^5 0 or 1^6 go to the
// second table, indexed by bits 5..10, for classes 5 to 10. Every entry is
// applied the same way (a zero code or the end of block has value 0), so the
// loop branches only to reach the second table, to refill and to leave.
//
// It follows the plain decoder's rules for corrupt data exactly. Entries that
// hold two or three codes are used only while t <= 61, where none of their
// codes can end the block early; the last positions go one code at a time.
#include <array>

#include "engine/EntropyInternal.h"

namespace {

enum : uint8_t {
    FLAG_VALUE = 1,  // the entry's first code is a value (not a zero code or the end)
    FLAG_LONG = 2,   // classes 5..10: the entry is in the second table
};

// The end of block covers "64 positions": like a run past 63, it ends the block.
constexpr uint8_t END_ADVANCE = 64;
constexpr int LAST_PAIR_START = 61;  // a pair or triple starting here ends by 63

// One table entry. The first code's value is
// +-(smallest + (window >> (signShift + 1) & mantissaMask)), negative when window
// bit signShift is set; a zero code or the end has smallest 0 and so value 0.
struct FastCode {
    uint8_t length;   // bits consumed
    uint8_t advance;  // scan positions covered
    uint8_t signShift;
    uint8_t flags;
    uint16_t smallest;
    uint16_t mantissaMask;
    int16_t second;  // value at t + 1 of a pair: +-1, or 0 for a zero code or none
};

using FastTable = std::array<FastCode, 64>;

constexpr FastCode Zeros(unsigned count, unsigned length)
{
    return {uint8_t(length), uint8_t(count), 0, 0, 0, 0, 0};
}

// Class k: 1^k 0 s m(k - 1 bits) for k < 10, 1^10 s e(11 bits).
constexpr FastCode ValueClass(unsigned k)
{
    if (k == 10)
        return {22, 1, 10, FLAG_VALUE, 512, 0x7FF, 0};
    return {uint8_t(2 * k + 1), 1, uint8_t(k + 1), FLAG_VALUE, uint16_t(1u << (k - 1)),
            uint16_t((1u << (k - 1)) - 1), 0};
}

constexpr unsigned TrailingOnes(unsigned x)
{
    unsigned k = 0;
    while (x >> k & 1)
        ++k;
    return k;
}

// The first code in the 6 bits x (stream bit i in bit i).
constexpr FastCode SingleCode(unsigned x)
{
    if (!(x & 1)) {
        if (!(x & 2))
            return Zeros(1, 2);
        const unsigned r = x >> 2 & 7;
        return r == 7 ? FastCode{5, END_ADVANCE, 0, 0, 0, 0, 0} : Zeros(r + 3, 5);
    }
    const unsigned k = TrailingOnes(x);
    return k <= 4 ? ValueClass(k) : FastCode{0, 0, 0, FLAG_LONG, 0, 0, 0};
}

// [0 0] or +-1.
constexpr bool IsShort(const FastCode& c)
{
    return c.length == 2 || (c.length == 3 && (c.flags & FLAG_VALUE));
}

// The first code in x and, when both are short and fit in the 6 bits, the
// second; three [0 0] codes when all six bits are zero.
constexpr FastCode PairedCode(unsigned x)
{
    FastCode c = SingleCode(x);
    if (!IsShort(c))
        return c;
    const FastCode next = SingleCode(x >> c.length);
    if (!IsShort(next) || c.length + next.length > 6)
        return c;
    if (!(c.flags & FLAG_VALUE) && !(next.flags & FLAG_VALUE))
        return x == 0 ? Zeros(3, 6) : Zeros(2, 4);
    if (next.flags & FLAG_VALUE)
        c.second = (x >> (c.length + 2) & 1) ? -1 : 1;
    c.length = uint8_t(c.length + next.length);
    c.advance = 2;
    return c;
}

// Classes 5..10 from stream bits 5..10 (y): class 5 + the ones before the first 0.
constexpr FastCode LongCode(unsigned y)
{
    const unsigned ones = TrailingOnes(y);
    return ValueClass(ones >= 5 ? 10 : 5 + ones);
}

constexpr FastTable BuildTable(FastCode (*code)(unsigned))
{
    FastTable table{};
    for (unsigned x = 0; x < 64; ++x)
        table[x] = code(x);
    return table;
}

constexpr FastTable PAIRED_CODES = BuildTable(PairedCode);
constexpr FastTable SINGLE_CODES = BuildTable(SingleCode);
constexpr FastTable LONG_CODES = BuildTable(LongCode);

// The stream from the current bit on: `bits` holds `count` valid bits (at
// least 32 after Refill, enough for any code), above them zeros; `next` is the
// next word to load. A word is loaded only once fewer than 32 bits are left,
// so the decoder reads at most 8 bytes past the last bit it consumes.
struct Window {
    uint64_t bits;
    unsigned count;
    const uint8_t* next;
};

inline void Refill(Window* w)
{
    if (w->count < 32) {
        w->bits |= uint64_t(LoadLE32(w->next)) << w->count;
        w->next += 4;
        w->count += 32;
    }
}

inline void Consume(Window* w, unsigned n)
{
    w->bits >>= n;
    w->count -= n;
}

// The entry for the code at the front of the window, from the second table
// for the long classes.
inline const FastCode* Lookup(const FastTable& table, uint64_t bits)
{
    const FastCode* c = &table[bits & 63];
    const FastCode* longCode = &LONG_CODES[bits >> 5 & 63];
    return (c->flags & FLAG_LONG) ? longCode : c;
}

inline int16_t FirstValue(const FastCode* c, uint64_t bits)
{
    const unsigned sign = unsigned(bits >> c->signShift) & 1;
    const unsigned magnitude = c->smallest + (unsigned(bits >> (c->signShift + 1)) & c->mantissaMask);
    return int16_t((magnitude ^ (0u - sign)) + sign);
}

// Decodes the AC codes; returns when the block has ended.
void DecodeCodes(Window* w, int16_t* v)
{
    int t = 1;
    do {
        Refill(w);
        const FastCode* c = Lookup(PAIRED_CODES, w->bits);
        // Storing 0 at a position not yet decoded changes nothing.
        v[ZigzagOrder[t]] = FirstValue(c, w->bits);
        v[ZigzagOrder[t + 1]] = c->second;
        t += c->advance;
        Consume(w, c->length);
    } while (t <= LAST_PAIR_START);
    if (t > 63)  // a zero code or the end of block: values leave t <= 63
        return;
    for (;;) {
        Refill(w);
        const FastCode* c = Lookup(SINGLE_CODES, w->bits);
        const int16_t value = FirstValue(c, w->bits);
        Consume(w, c->length);
        if (c->flags & FLAG_VALUE) {
            if (t > 63)
                return;  // a value read at t = 64
            v[ZigzagOrder[t++]] = value;
        } else {
            t += c->advance;
            if (t > 63)
                return;
        }
    }
}

}  // namespace

void DecodeBlockFast(BitReader* reader, Block* block)
{
    const uint32_t start = reader->position;
    if (start / 8 > reader->size || reader->size - start / 8 < FAST_DECODE_MIN_BYTES) {
        DecodeBlockPlain(reader, block);
        return;
    }
    ClearBlock(block);
    const uint8_t* const first = reader->buffer + start / 32 * 4;
    const unsigned skip = start % 32;
    Window w{(LoadLE32(first) | uint64_t(LoadLE32(first + 4)) << 32) >> skip, 64 - skip, first + 8};
    block->v[0] = int16_t(w.bits & 0xFFF);
    Consume(&w, 12);
    DecodeCodes(&w, block->v);
    const uint32_t loaded = uint32_t(w.next - first) * 8;
    reader->position = start + (loaded - skip - w.count);
}
