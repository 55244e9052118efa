// SPDX-License-Identifier: BSD-2-Clause
// The table-driven block decoder built for BMI2 and AVX2: shifts by a
// register without the flags dependency, and the block cleared with 32-byte
// stores.
#include "entropy/DecodeBlockTable.h"

void DecodeBlocksAvx2(BitReader* reader, Block* blocks, int count)
{
    DecodeBlocksWithTable(reader, blocks, count);
}
