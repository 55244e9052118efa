// The fixed-point 8x8 transforms and the float quantiser, as one kernel family.
#pragma once

#include <cstdint>

#include "engine/Block.h"

using TransformFn = void (*)(Block* block);
using ScaleFn = void (*)(Block* block, const float* table);  // table: 64 floats, 16-byte aligned

struct TransformKernels {
    TransformFn forwardDct;  // samples -> coefficients, in place
    TransformFn inverseDct;  // coefficients -> samples, in place, not clamped
    ScaleFn quantize;        // multiply by reciprocals, round ties to even, saturate
    ScaleFn dequantize;      // multiply by step sizes, same rounding
};

void InitTransformKernels(TransformKernels* kernels, uint32_t cpuFlags);

void ForwardDctPlain(Block* block);
void InverseDctPlain(Block* block);
void QuantizePlain(Block* block, const float* reciprocals);
void DequantizePlain(Block* block, const float* scales);
