// SPDX-License-Identifier: BSD-2-Clause
// The whole state of one open codec. Its address is the handle hosts keep.
// Every instance can both encode and decode; it carries the tables for both
// directions and four slice workers for decoding.
#pragma once

#include <cstdint>

#include "entropy/EntropyCode.h"
#include "pixels/PixelKernels.h"
#include "transform/TransformKernels.h"

struct FieldJob;
struct SliceWorker;

enum PixelFormat : uint32_t {
    PIXEL_FORMAT_UNSUPPORTED = 0,
    PIXEL_FORMAT_UYVY = 2,
    PIXEL_FORMAT_BGR24 = 3,
    PIXEL_FORMAT_BGR32 = 4,
};

constexpr int SLICE_COUNT = 4;

struct CodecInstance {
    float* lumaReciprocals;  // 64 floats each, natural order, 16-byte aligned
    float* chromaReciprocals;
    float* lumaScales;
    float* chromaScales;
    StagingMasks stagingMasks;  // lane masks for the SSE2 loads
    int32_t width;   // pixels
    int32_t height;  // frame lines, always positive
    uint32_t fourcc;
    uint8_t topDown;  // the uncompressed RGB picture is stored top line first
    uint32_t pixelFormat;
    EntropyTables entropyTables;  // the encoder's value and zero-run codes
    int32_t quality;  // the quality the four tables hold; 0 before the first build
    SliceWorker* workers[SLICE_COUNT];
    FieldJob* fieldJob;  // the field the workers decode
    // Threads that decode a field's slices: SLICE_COUNT, the workers, or 1,
    // the caller's own thread, for hosts that already keep one instance
    // busy per core and gain nothing from handing slices over.
    int32_t sliceThreads;
    // Kernels chosen once, at construction, from the processor's features.
    TransformKernels transformKernels;
    EntropyKernels entropyKernels;
    PixelKernels pixelKernels;
};

// Allocates and constructs an instance: tables for quality 95, entropy tables,
// four workers whose threads start with the first field decoded on them.
// Returns null, having released everything it made, when any allocation or
// event cannot be had. Geometry, fourcc and pixel format are left zero for
// the creator to set.
CodecInstance* CreateCodecInstance();

// Stops the workers, releases the tables and frees the record. Null is a no-op.
void DestroyCodecInstance(CodecInstance* instance);

// Stores q and rebuilds the four quantiser tables, unless q is already the
// instance's quality. Any q is applied as it is (the decoder passes the
// frame's quality byte).
void SetQuality(CodecInstance* instance, int32_t q);
