// SPDX-License-Identifier: BSD-2-Clause
#include <qf25.h>

#include <algorithm>

#include "codec/CodecInstance.h"
#include "codec/FieldCoder.h"
#include "driver/DriverInstance.h"
#include "driver/EntryPoint.h"
#include "driver/Formats.h"
#include "driver/HostSettings.h"
#include "platform/CpuFlags.h"
#include "platform/Vfw.h"

// What qf25.h promises hosts is what the code below does.
static_assert(CPU_FEATURE_MMX == QF25_CPU_MMX && CPU_FEATURE_SSE == QF25_CPU_SSE && CPU_FEATURE_SSE2 == QF25_CPU_SSE2 &&
              CPU_FEATURE_3DNOW == QF25_CPU_3DNOW && CPU_FEATURE_AVX2 == QF25_CPU_AVX2);
static_assert(ICERR_OK == QF25_OK && ICERR_UNSUPPORTED == QF25_ERROR_UNSUPPORTED &&
              ICERR_BADFORMAT == QF25_ERROR_BADFORMAT && ICERR_BADPARAM == QF25_ERROR_BADPARAM);

namespace {

DriverInstance* InstanceOf(void* handle)
{
    return static_cast<DriverInstance*>(handle);
}

const BITMAPINFOHEADER* HeaderOf(const void* format)
{
    return static_cast<const BITMAPINFOHEADER*>(format);
}

// The four slices of a field may be written at once, by four threads, so its
// lines must not overlap: |stride| is at least the bytes of a line's whole
// macroblocks. A layout the decoder cannot write is refused too.
bool DecoderCanWrite(const CodecInstance* codec, int32_t stride)
{
    const uint64_t codedLineBytes = uint64_t(codec->width / 16) * 16 * PixelFormatBytes(codec->pixelFormat);
    return codec->pixelFormat != PIXEL_FORMAT_UNSUPPORTED && Magnitude(stride) >= codedLineBytes;
}

uint32_t LargestFrameBytes(int32_t width, int32_t height)
{
    if (!GeometryFits(width, height))
        return 0;
    return uint32_t(std::min<uint64_t>(MaxFrameBytes(width, int32_t(Magnitude(height))), UINT32_MAX));
}

}  // namespace

extern "C" {

QF25_ENTRY void* QF25_CALL QFC_CompressFieldBegin(const void* format)
{
    DriverInstance* instance = OpenDriverInstance();
    if (instance && CompressBegin(HeaderOf(format), instance) != ICERR_OK) {
        CloseDriverInstance(instance);
        return nullptr;
    }
    return instance;
}

QF25_ENTRY uint32_t QF25_CALL QFC_CompressField(void* handle, uint8_t* frame, const uint8_t* firstLine,
                                                int32_t stride, int32_t fieldIndex)
{
    const CodecInstance* codec = handle ? InstanceOf(handle)->codec : nullptr;
    const uint32_t capacity = codec ? CompressedCapacity(codec->width, codec->height) : 0;
    return QFC_CompressFieldSized(handle, frame, capacity, firstLine, stride, fieldIndex);
}

QF25_ENTRY uint32_t QF25_CALL QFC_CompressFieldSized(void* handle, uint8_t* frame, uint32_t capacity,
                                                     const uint8_t* firstLine, int32_t stride, int32_t fieldIndex)
{
    if (!handle || !frame || !firstLine)
        return 0;
    CodecInstance* codec = InstanceOf(handle)->codec;
    if (codec->pixelFormat == PIXEL_FORMAT_UNSUPPORTED)
        return 0;
    return EncodeField(codec, frame, CoderRoom(capacity), firstLine, stride, fieldIndex);
}

QF25_ENTRY int32_t QF25_CALL QFC_CompressFieldEnd(void* handle)
{
    CloseDriverInstance(InstanceOf(handle));
    return 0;
}

QF25_ENTRY void* QF25_CALL QFC_DecompressFieldBegin(const void* format)
{
    const BITMAPINFOHEADER* header = HeaderOf(format);
    if (!header || !GeometryFits(header->biWidth, header->biHeight))
        return nullptr;
    DriverInstance* instance = OpenDriverInstance();
    if (instance)
        RecordDecompressGeometry(header, header, instance->codec);
    return instance;
}

QF25_ENTRY int32_t QF25_CALL QFC_DecompressField(void* handle, uint8_t* firstLine, const uint8_t* frame,
                                                 int32_t stride, int32_t fieldIndex)
{
    if (!handle || !frame)
        return 0;
    const CodecInstance* codec = InstanceOf(handle)->codec;
    const uint32_t frameBytes = DeclaredFrameBytes(frame, LargestFrameBytes(codec->width, codec->height));
    QFC_DecompressFieldSized(handle, firstLine, frame, frameBytes, stride, fieldIndex);
    return 0;
}

QF25_ENTRY int32_t QF25_CALL QFC_DecompressFieldSized(void* handle, uint8_t* firstLine, const uint8_t* frame,
                                                      uint32_t frameSize, int32_t stride, int32_t fieldIndex)
{
    if (!handle || !firstLine || !frame || frameSize == 0 || !DecoderCanWrite(InstanceOf(handle)->codec, stride))
        return int32_t(ICERR_BADFORMAT);
    switch (DecodeField(InstanceOf(handle)->codec, frame, frameSize, firstLine, stride, fieldIndex)) {
    case FIELD_OK:
        return 0;
    case FIELD_DAMAGED:
        return QF25_FIELD_DAMAGED;
    default:
        return int32_t(ICERR_BADFORMAT);
    }
}

QF25_ENTRY int32_t QF25_CALL QFC_DecompressFieldEnd(void* handle)
{
    CloseDriverInstance(InstanceOf(handle));
    return 0;
}

QF25_ENTRY int32_t QF25_CALL QFC_SetQuality(void* handle, int32_t quality)
{
    if (!handle || quality < MIN_QUALITY || quality > MAX_QUALITY)
        return int32_t(ICERR_BADPARAM);
    SetQuality(InstanceOf(handle)->codec, quality);
    return 0;
}

QF25_ENTRY uint32_t QF25_CALL QFC_MaxFrameSize(int32_t width, int32_t height)
{
    return LargestFrameBytes(width, height);
}

QF25_ENTRY void QF25_CALL QFC_SetCpuMask(uint32_t mask)
{
    SetCpuFlagsMask(mask);
}

QF25_ENTRY int32_t QF25_CALL QFC_SetSliceThreads(void* handle, int32_t threads)
{
    if (!handle || (threads != 1 && threads != SLICE_COUNT))
        return int32_t(ICERR_BADPARAM);
    InstanceOf(handle)->codec->sliceThreads = threads;
    return 0;
}

}  // extern "C"
