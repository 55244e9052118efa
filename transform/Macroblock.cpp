#include "transform/Macroblock.h"

#include "engine/CodecInstance.h"

namespace {

bool IsLuma(int k)
{
    return k == BLOCK_Y_LEFT || k == BLOCK_Y_RIGHT;
}

}  // namespace

void EncodeMacroblock(const CodecInstance* instance, MacroblockBuffer* buffer, BitWriter* writer)
{
    const TransformKernels& transform = instance->transformKernels;
    Block scan;
    for (int k = 0; k < 4; ++k) {
        Block* block = &buffer->block[k];
        transform.forwardDct(block);
        transform.quantize(block, IsLuma(k) ? instance->lumaReciprocals : instance->chromaReciprocals);
        ZigzagReorder(block, &scan);
        instance->entropyKernels.encodeBlock(&scan, instance, writer);
    }
}

void DecodeMacroblock(const CodecInstance* instance, MacroblockBuffer* buffer, BitReader* reader)
{
    const TransformKernels& transform = instance->transformKernels;
    for (int k = 0; k < 4; ++k) {
        Block* block = &buffer->block[k];
        instance->entropyKernels.decodeBlock(reader, block);
        transform.dequantize(block, IsLuma(k) ? instance->lumaScales : instance->chromaScales);
        transform.inverseDct(block);
    }
}
