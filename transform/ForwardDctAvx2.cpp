// SPDX-License-Identifier: BSD-2-Clause
// Forward transform and quantiser of a block pair on AVX2, one row of each
// block per vector. ForwardPairPlain is the twin.
#if defined(__AVX2__)

#include "transform/DctAvx2Ops.h"
// Written with the lane operations above, so they come after them.
#include "transform/DctColumns.h"
#include "transform/DctRows.h"
#include "transform/TransformKernelsAvx2.h"

void ForwardPairAvx2(Block* pair, const float* reciprocals)
{
    __m256i r[8];
    for (int y = 0; y < 8; ++y)
        r[y] = LoadRowPair(&pair[0], &pair[1], y);
    ForwardColumns(r);
#pragma GCC unroll 8
    for (int y = 0; y < 8; ++y)
        StoreRowPair(&pair[0], &pair[1], y, ForwardRowQuantized(r[y], y, reciprocals));
}

#endif
