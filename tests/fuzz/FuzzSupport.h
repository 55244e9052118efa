// SPDX-License-Identifier: BSD-2-Clause
// What the fuzz targets share: the case parameters they take from the tail
// of their input (so that the rest can be frame or picture bytes that
// mutate freely), the picture layouts as bitmap headers, and the addresses
// of a picture's two fields.
#pragma once

#include <qf25.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/Vfw.h"

// Every run stays fast: a picture codes the same paths at 64x32 as at
// 1920x1088, so cases are small unless their tail asks for a large one, and
// pictures beyond a 1920x1088 frame are not tried at all.
constexpr uint64_t MAX_SMALL_FUZZ_PIXELS = 64 * 128;
constexpr uint64_t MAX_FUZZ_PIXELS = 1920 * 1088;

// The layouts a case can name; the last one is a format the codec refuses.
enum FuzzLayout : uint8_t { FUZZ_UYVY, FUZZ_BGR24, FUZZ_BGR32, FUZZ_REFUSED_RGB16, FUZZ_LAYOUT_COUNT };

// The decode target's ways into the decoder (its tail's mode modulo the
// count): ICM_DECOMPRESS with the frame's size in the header or without it,
// the field functions with the size or without it.
enum FuzzDecodeEntry : uint8_t { DRIVER_SIZED, DRIVER_UNSIZED, FIELDS_SIZED, FIELDS_UNSIZED, ENTRY_COUNT };

// The kernels a case runs with: the processor's best, its SSE2 ones, the
// plain C++ twins, or the processor's checked against the plain twins, which
// must give the same bytes. One set per case keeps a run cheap; the checked
// quarter of the cases catches a kernel that parts from its twin.
enum FuzzKernels : uint8_t { FUZZ_FAST_KERNELS, FUZZ_SSE2_KERNELS, FUZZ_PLAIN_KERNELS, FUZZ_KERNEL_SETS };
constexpr uint8_t FUZZ_CHECKED_KERNELS = FUZZ_KERNEL_SETS;  // in a tail: fast, then plain

// The parameters at the end of an input, little-endian. Inputs shorter than
// the tail are too short to be a case. Byte 4 holds the layout (bits 0-1),
// the kernels (bits 2-3) and, when bits 4-7 are all set, a large picture.
struct FuzzTail {
    uint16_t width;
    int16_t height;  // negative: the picture is stored top line first
    uint8_t layout;  // FuzzLayout
    uint8_t mode;    // what each target makes of it is its own
    uint8_t extra[2];
    uint8_t kernels;  // FuzzKernels or FUZZ_CHECKED_KERNELS
    bool large;       // up to MAX_FUZZ_PIXELS rather than MAX_SMALL_FUZZ_PIXELS
};
constexpr size_t FUZZ_TAIL_BYTES = 8;
constexpr uint8_t FUZZ_LARGE_BITS = 0xF0;

struct FuzzCase {
    FuzzTail tail;
    const uint8_t* body;  // the bytes before the tail
    size_t bodySize;
};

inline bool SplitFuzzInput(const uint8_t* data, size_t size, FuzzCase* fuzzCase)
{
    if (size < FUZZ_TAIL_BYTES)
        return false;
    const uint8_t* tail = data + size - FUZZ_TAIL_BYTES;
    fuzzCase->tail.width = uint16_t(tail[0] | tail[1] << 8);
    fuzzCase->tail.height = int16_t(uint16_t(tail[2] | tail[3] << 8));
    fuzzCase->tail.layout = uint8_t(tail[4] % FUZZ_LAYOUT_COUNT);
    fuzzCase->tail.kernels = uint8_t(tail[4] >> 2 & 3);
    fuzzCase->tail.large = (tail[4] & FUZZ_LARGE_BITS) == FUZZ_LARGE_BITS;
    fuzzCase->tail.mode = tail[5];
    fuzzCase->tail.extra[0] = tail[6];
    fuzzCase->tail.extra[1] = tail[7];
    fuzzCase->body = data;
    fuzzCase->bodySize = size - FUZZ_TAIL_BYTES;
    return true;
}

inline void AppendFuzzTail(std::vector<uint8_t>& input, const FuzzTail& tail)
{
    const auto height = uint16_t(tail.height);
    const auto choices = uint8_t(tail.layout | tail.kernels << 2 | (tail.large ? FUZZ_LARGE_BITS : 0));
    input.insert(input.end(), {uint8_t(tail.width), uint8_t(tail.width >> 8), uint8_t(height),
                               uint8_t(height >> 8), choices, tail.mode, tail.extra[0], tail.extra[1]});
}

// A header's line count; the most negative height has no positive int.
inline uint32_t FuzzMagnitude(int32_t height)
{
    return height < 0 ? 0u - uint32_t(height) : uint32_t(height);
}

// A picture the targets try: some pixels, and no more than its size class
// allows.
inline bool FuzzGeometryFits(const FuzzTail& tail)
{
    const uint64_t lines = FuzzMagnitude(int32_t(tail.height));
    return tail.width != 0 && lines != 0 &&
           tail.width * lines <= (tail.large ? MAX_FUZZ_PIXELS : MAX_SMALL_FUZZ_PIXELS);
}

// Bytes per pixel as the host lays the picture out; the refused format is
// a 16-bit RGB bitmap.
inline size_t FuzzPixelBytes(uint8_t layout)
{
    static const size_t BYTES[FUZZ_LAYOUT_COUNT] = {2, 3, 4, 2};
    return BYTES[layout];
}

inline BITMAPINFOHEADER FuzzPictureHeader(uint8_t layout, int32_t width, int32_t height)
{
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = uint16_t(8 * FuzzPixelBytes(layout));
    header.biCompression = layout == FUZZ_UYVY ? mmioFOURCC('U', 'Y', 'V', 'Y') : BI_RGB;
    header.biSizeImage = uint32_t(FuzzPixelBytes(layout) * uint32_t(width) * FuzzMagnitude(height));
    return header;
}

// A picture as a host holds it: lines `pitch` bytes apart, the buffer ending
// with the last line. Bitmaps with a positive height keep their top line
// last in memory; UYVY is always stored top line first.
struct FuzzPicture {
    uint8_t layout;
    int32_t width;
    int32_t height;  // signed, as in the picture's header
    size_t pitch;
};

inline size_t FuzzLineBytes(const FuzzPicture& picture)
{
    return FuzzPixelBytes(picture.layout) * size_t(picture.width);
}

inline size_t FuzzLines(const FuzzPicture& picture)
{
    return size_t(FuzzMagnitude(picture.height));
}

inline size_t FuzzPictureBytes(const FuzzPicture& picture)
{
    return picture.pitch * (FuzzLines(picture) - 1) + FuzzLineBytes(picture);
}

inline bool FuzzBottomUp(const FuzzPicture& picture)
{
    return picture.height > 0 && picture.layout != FUZZ_UYVY;
}

// Field f's top line and the distance to its next line.
struct FuzzField {
    ptrdiff_t offset;  // one line before the buffer for field 1 of a one-line bitmap
    int32_t stride;
};

inline FuzzField FuzzFieldOf(const FuzzPicture& picture, int field)
{
    const auto line = ptrdiff_t(picture.pitch);
    if (!FuzzBottomUp(picture))
        return {field == 0 ? 0 : line, int32_t(2 * line)};
    const ptrdiff_t top = (ptrdiff_t(picture.height) - 1) * line;
    return {field == 0 ? top : top - line, -int32_t(2 * line)};
}

// Whether `count` bytes all hold `value`. Each byte equals the next one: one
// memcmp, which neither the fuzzer's comparison tracing nor the sanitizers
// slow down the way a byte loop is.
inline bool AllBytesAre(const uint8_t* bytes, size_t count, uint8_t value)
{
    return count == 0 || (bytes[0] == value && std::memcmp(bytes, bytes + 1, count - 1) == 0);
}

inline intptr_t FuzzSend(uintptr_t id, uint32_t message, const void* lParam1, const void* lParam2)
{
    return DriverProc(id, nullptr, message, reinterpret_cast<intptr_t>(lParam1),
                      reinterpret_cast<intptr_t>(lParam2));
}

// Ends the run as a crash, so that the fuzzer keeps the input.
[[noreturn]] inline void FuzzFailure(const char* what)
{
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

// QFC_SetCpuMask applies to the instances made while it is set.
inline uint32_t FuzzCpuMask(FuzzKernels kernels)
{
    static const uint32_t MASKS[FUZZ_KERNEL_SETS] = {QF25_CPU_ALL, QF25_CPU_MMX | QF25_CPU_SSE | QF25_CPU_SSE2, 0};
    return MASKS[kernels];
}

// The set a case runs first; a checked case runs the plain twins second.
inline FuzzKernels FirstKernels(const FuzzTail& tail)
{
    return tail.kernels == FUZZ_CHECKED_KERNELS ? FUZZ_FAST_KERNELS : FuzzKernels(tail.kernels);
}

// A field-function handle kept while the runs bring the same picture header
// (the fuzzer mostly changes the bytes before the tail).
struct FuzzKeptHandle {
    void* handle;
    BITMAPINFOHEADER format;
    int32_t(QF25_CALL* end)(void*);  // set once the handle is listed for the exit
};

// What the runs keep open, closed as a host closes it when the process ends:
// no worker thread is left running while the process is torn down.
struct FuzzKept {
    uintptr_t driverIds[FUZZ_KERNEL_SETS];
    std::vector<FuzzKeptHandle*> handles;
};

inline FuzzKept& FuzzKeptOpen()
{
    static FuzzKept kept = {};
    return kept;
}

inline void FuzzCloseKept()
{
    FuzzKept& kept = FuzzKeptOpen();
    for (FuzzKeptHandle* handle : kept.handles) {
        handle->end(handle->handle);
        handle->handle = nullptr;
    }
    for (uintptr_t& id : kept.driverIds) {
        if (id != 0)
            FuzzSend(id, DRV_CLOSE, nullptr, nullptr);
        id = 0;
    }
}

// The record is made before the handler is registered, so it outlives it.
inline FuzzKept& FuzzKeptUntilExit()
{
    FuzzKept& kept = FuzzKeptOpen();
    static const bool registered = std::atexit(FuzzCloseKept) == 0;
    (void)registered;
    return kept;
}

// Instances live from run to run, as a host keeps one for a sequence:
// starting an instance's four worker threads costs more than coding a small
// picture. Each run still sends the BEGIN messages of its own case.
inline uintptr_t FuzzDriverInstance(FuzzKernels kernels)
{
    uintptr_t* ids = FuzzKeptUntilExit().driverIds;
    if (ids[kernels] == 0) {
        ICOPEN parameters = {};
        parameters.dwSize = sizeof parameters;
        parameters.fccType = ICTYPE_VIDEO;
        parameters.fccHandler = mmioFOURCC('q', 'f', '2', '5');
        QFC_SetCpuMask(FuzzCpuMask(kernels));
        ids[kernels] = uintptr_t(FuzzSend(0, DRV_OPEN, nullptr, &parameters));
        QFC_SetCpuMask(QF25_CPU_ALL);
        if (ids[kernels] == 0)
            FuzzFailure("DRV_OPEN refused");
    }
    return ids[kernels];
}

// The handle for `format` from `begin` (QFC_CompressFieldBegin or
// QFC_DecompressFieldBegin) with those kernels; a handle kept for
// another header is ended with `end` first.
inline void* FuzzFieldHandle(FuzzKeptHandle& kept, const BITMAPINFOHEADER& format, FuzzKernels kernels,
                             void*(QF25_CALL* begin)(const void*), int32_t(QF25_CALL* end)(void*))
{
    if (kept.handle && std::memcmp(&kept.format, &format, sizeof format) == 0)
        return kept.handle;
    end(kept.handle);
    if (!kept.end)
        FuzzKeptUntilExit().handles.push_back(&kept);
    kept.end = end;
    QFC_SetCpuMask(FuzzCpuMask(kernels));
    kept.handle = begin(&format);
    QFC_SetCpuMask(QF25_CPU_ALL);
    kept.format = format;
    if (!kept.handle)
        FuzzFailure("a field function Begin refused a picture that fits");
    return kept.handle;
}
