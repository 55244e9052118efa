// SPDX-License-Identifier: BSD-2-Clause
// The table-driven block decoder in portable C++.
#include "entropy/DecodeBlockTable.h"

void DecodeBlocksFast(BitReader* reader, Block* blocks, int count)
{
    DecodeBlocksWithTable(reader, blocks, count);
}
