// SPDX-License-Identifier: BSD-2-Clause
// The codec as the qf25 command and the GStreamer and VLC plugins use it: the
// three uncompressed layouts, the bitmap headers that describe them, and codec
// instances that code or decode whole top-down pictures through the public
// field functions.
#pragma once

#include <qf25.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

extern "C" {
#include <libavutil/pixfmt.h>
}

struct PixelLayout {
    const char* name;        // as given to --pix
    uint32_t compression;    // biCompression: the FourCC UYVY, or 0 for RGB
    int bitCount;            // biBitCount
    AVPixelFormat avFormat;  // the same bytes as FFmpeg names them
};

extern const PixelLayout PIXEL_LAYOUTS[3];  // uyvy, bgr24, bgr32
const PixelLayout* FindPixelLayout(std::string_view name);
const PixelLayout* PixelLayoutOfBitCount(int bitCount);
size_t LineBytes(const PixelLayout& layout, int width);
size_t PictureBytes(const PixelLayout& layout, int width, int height);

constexpr uint32_t MakeFourcc(char a, char b, char c, char d)
{
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
           uint32_t(uint8_t(d)) << 24;
}
constexpr uint32_t FOURCC_QF25 = QF25_FOURCC;
constexpr int WIDTH_MULTIPLE = QF25_WIDTH_MULTIPLE;  // the compressor refuses other widths
constexpr int MIN_QUALITY = QF25_MIN_QUALITY;
constexpr int MAX_QUALITY = QF25_MAX_QUALITY;
constexpr int DEFAULT_QUALITY = QF25_DEFAULT_QUALITY;  // a new instance's

using BitmapHeader = std::array<uint8_t, 40>;
// The uncompressed picture as the codec is told about it. RGB is declared
// bottom-up, the usual bitmap order, so that the stream format keeps a
// positive height; the compressed bytes do not depend on the line order.
BitmapHeader UncompressedHeader(const PixelLayout& layout, int width, int height);
// The stream format the compressor describes for that input: same geometry
// and bit count, FourCC QF25, and room for six bytes per pixel.
BitmapHeader CompressedHeader(const PixelLayout& layout, int width, int height);

// One codec instance. Instances are not shared between threads.
struct CodecSession {
    void* handle = nullptr;
    bool decoder = false;
    const PixelLayout* layout = nullptr;
    int width = 0;
    int height = 0;

    CodecSession() = default;
    CodecSession(CodecSession&& other) noexcept;
    CodecSession& operator=(CodecSession&&) = delete;
    CodecSession(const CodecSession&) = delete;
    CodecSession& operator=(const CodecSession&) = delete;
    ~CodecSession();
};

// Where a decoder runs the four slices of a field: on its instance's four
// worker threads, the faster for a single stream, or on the thread that
// calls it, when every core already runs an instance of its own.
enum class SliceThreads { WORKERS, CALLER };

// Quality 0 keeps the codec's default.
CodecSession OpenEncoder(const PixelLayout& layout, int width, int height, int quality);
CodecSession OpenDecoder(const PixelLayout& layout, int width, int height, SliceThreads slices);
// Decoders for `count` instances working at once: one keeps its workers,
// several decode on their own threads.
std::vector<CodecSession> OpenDecoders(const PixelLayout& layout, int width, int height, int count);
uint32_t MaxCodedBytes(int width, int height);
// Whether a stream's stated picture size is one to allocate pictures for:
// positive, and within what FFmpeg takes for a picture.
bool IsPlausiblePictureSize(int width, int height);

// Pictures are top-down; `lineStride` is the distance from one line to the
// next, 0 for contiguous lines.

// Codes a picture; returns the frame's length, or 0 when it does not fit
// into `capacity` bytes.
uint32_t EncodePicture(CodecSession& session, const uint8_t* picture, uint8_t* coded, uint32_t capacity,
                       size_t lineStride = 0);

enum class DecodeOutcome { GOOD, DAMAGED, REFUSED };
DecodeOutcome DecodePicture(CodecSession& session, const uint8_t* coded, uint32_t size, uint8_t* picture,
                            size_t lineStride = 0);

// The codec writes whole macroblocks and line pairs only: columns right of
// the last multiple of 16 stay as they were, so such pictures must start out
// black rather than as an old frame.
bool HasUncodedPixels(const CodecSession& session);
// The last line of an odd height is not coded either: it becomes a copy of
// the line two above, of the same field (no picture of one line is coded).
void FillUncodedLine(const CodecSession& session, uint8_t* picture, size_t lineStride = 0);
// Black in each layout: Y 16 with neutral chroma, or zero RGB.
void FillBlack(const PixelLayout& layout, int width, int height, uint8_t* picture, size_t lineStride = 0);

// Restricts the instruction sets the codec may use (for benchmarks and tests).
void SetCodecCpuMask(uint32_t mask);
