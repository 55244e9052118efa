// SPDX-License-Identifier: BSD-2-Clause
#include "pixels/ColourTables.h"

#include <atomic>

#include "platform/Once.h"

namespace {

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
                const LaneRule& rule = COLOUR_RULES[t][lane];
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
