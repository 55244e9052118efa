#include "pixels/ColourTables.h"

#include <atomic>

#include "platform/Once.h"

namespace {

// Lane value for index i: bias + floor(coefficient * (i - origin) / 256).
// BT.601 studio range scaled by 256; the rounding of -37, -73, -93, -17
// (forward) and 99, 207, 517 (reverse) is part of the format.
struct LaneRule {
    int32_t coefficient;
    int32_t origin;
    int32_t bias;
};

constexpr LaneRule ZERO_LANE = {0, 0, 0};

constexpr LaneRule RULES[6][COLOUR_LANES] = {
    {{-37, 0, 128}, {66, 0, 16}, {112, 0, 128}, {66, 0, 16}},   // yccFromR
    {{-73, 0, 0}, {129, 0, 0}, {-93, 0, 0}, {129, 0, 0}},       // yccFromG
    {{112, 0, 0}, {25, 0, 0}, {-17, 0, 0}, {25, 0, 0}},         // yccFromB
    {{298, 16, 0}, {298, 16, 0}, {298, 16, 0}, ZERO_LANE},      // bgrFromY
    {{517, 128, 0}, {-99, 128, 0}, ZERO_LANE, ZERO_LANE},       // bgrFromCb
    {ZERO_LANE, {-207, 128, 0}, {409, 128, 0}, ZERO_LANE},      // bgrFromCr
};

// Rounds toward minus infinity; |value| stays below 2^17 here.
int32_t FloorDiv256(int32_t value)
{
    return value >= 0 ? value / 256 : -((255 - value) / 256);
}

ColourTables tables;
std::atomic<bool> colourTablesReady{false};
OnceFlag colourTablesOnce = {};

void BuildColourTables()
{
    ColourTable* const destinations[6] = {&tables.yccFromR,  &tables.yccFromG,  &tables.yccFromB,
                                          &tables.bgrFromY,  &tables.bgrFromCb, &tables.bgrFromCr};
    for (int t = 0; t < 6; ++t) {
        for (int32_t i = 0; i < 256; ++i) {
            for (int lane = 0; lane < COLOUR_LANES; ++lane) {
                const LaneRule& rule = RULES[t][lane];
                const int32_t value = rule.bias + FloorDiv256(rule.coefficient * (i - rule.origin));
                (*destinations[t])[i][lane] = static_cast<int16_t>(value);
            }
        }
    }
    colourTablesReady.store(true, std::memory_order_release);
}

}  // namespace

void EnsureColourTables()
{
    if (!colourTablesReady.load(std::memory_order_acquire))
        RunOnce(&colourTablesOnce, BuildColourTables);
}

const ColourTables* GetColourTables()
{
    EnsureColourTables();  // after the first build, one acquire load
    return &tables;
}
