// SPDX-License-Identifier: BSD-2-Clause
#include "codec/Macroblock.h"

#include "codec/CodecInstance.h"

namespace {

bool IsLumaPair(int first)
{
    return first == BLOCK_Y_LEFT;
}

}  // namespace

void EncodeMacroblock(const CodecInstance* instance, MacroblockBuffer* buffer, BitWriter* writer)
{
    const TransformKernels& transform = instance->transformKernels;
    for (int first = 0; first < 4; first += 2)
        transform.forwardPair(&buffer->block[first],
                              IsLumaPair(first) ? instance->lumaReciprocals : instance->chromaReciprocals);
    instance->entropyKernels.encodeNaturalBlocks(buffer->block, 4, &instance->entropyTables, writer);
}

void DecodeMacroblock(const CodecInstance* instance, MacroblockBuffer* buffer, BitReader* reader)
{
    const TransformKernels& transform = instance->transformKernels;
    instance->entropyKernels.decodeBlocks(reader, buffer->block, 4);
    for (int first = 0; first < 4; first += 2)
        transform.inversePair(&buffer->block[first], IsLumaPair(first) ? instance->lumaScales : instance->chromaScales);
}
