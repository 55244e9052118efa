// SPDX-License-Identifier: BSD-2-Clause
// The table-driven block decoder in portable C++.
#include "entropy/DecodeBlockTable.h"

void DecodeBlockFast(BitReader* reader, Block* block)
{
    DecodeBlockWithTable(reader, block);
}
