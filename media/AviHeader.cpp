// SPDX-License-Identifier: BSD-2-Clause
#include "AviHeader.h"

#include "Codec.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// The headers of files that play take a few kilobytes; a size limit keeps
// hostile ones from taking memory.
constexpr size_t MAX_HEADER_BYTES = 1 << 20;
constexpr size_t STREAM_HEADER_BYTES = 56;

uint32_t Read16(const uint8_t* at)
{
    return uint32_t(at[0]) | uint32_t(at[1]) << 8;
}

uint32_t Read32(const uint8_t* at)
{
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

struct Span {
    const uint8_t* data;
    size_t size;
};

// Calls `visit(tag, body)` for each chunk in `span` (a list's type is part of
// its body); stops when a chunk runs past the span or `visit` returns true.
template <typename Visit>
bool EachChunk(Span span, Visit visit)
{
    size_t at = 0;
    while (span.size - at >= 8) {
        const uint32_t size = Read32(span.data + at + 4);
        if (size > span.size - at - 8)
            return false;
        if (visit(span.data + at, Span{span.data + at + 8, size}))
            return true;
        at += 8 + size + size % 2;
        if (at > span.size)
            return false;
    }
    return false;
}

bool IsList(const uint8_t* tag, Span body, const char* type)
{
    return std::memcmp(tag, "LIST", 4) == 0 && body.size >= 4 && std::memcmp(body.data, type, 4) == 0;
}

// Video properties: one field is a progressive picture; of two, the one
// listed first is shown first, and its start line says which it is.
void ReadVideoProperties(Span body, AviHeader& header)
{
    constexpr size_t FIELDS_AT = 32;
    constexpr size_t FIELD_INFO_BYTES = 32;
    constexpr size_t START_LINE_AT = 28;
    if (body.size < FIELDS_AT + 4)
        return;
    const uint32_t fields = Read32(body.data + FIELDS_AT);
    if (fields == 1) {
        header.fieldOrder = FieldOrder::PROGRESSIVE;
        header.hasFieldOrder = true;
    } else if (fields == 2 && body.size >= FIELDS_AT + 4 + 2 * FIELD_INFO_BYTES) {
        const uint8_t* first = body.data + FIELDS_AT + 4;
        const uint32_t firstStart = Read32(first + START_LINE_AT);
        const uint32_t secondStart = Read32(first + FIELD_INFO_BYTES + START_LINE_AT);
        header.fieldOrder = firstStart > secondStart ? FieldOrder::BOTTOM_FIRST : FieldOrder::TOP_FIRST;
        header.hasFieldOrder = true;
    }
}

// Code points FFmpeg has no name for are taken as unspecified.
void ReadColour(Span body, AviHeader& header)
{
    if (body.size < 6)
        return;
    const auto primaries = AVColorPrimaries(Read16(body.data));
    const auto transfer = AVColorTransferCharacteristic(Read16(body.data + 2));
    const auto matrix = AVColorSpace(Read16(body.data + 4));
    if (av_color_primaries_name(primaries) != nullptr)
        header.colour.primaries = primaries;
    if (av_color_transfer_name(transfer) != nullptr)
        header.colour.transfer = transfer;
    if (av_color_space_name(matrix) != nullptr)
        header.colour.matrix = matrix;
    header.hasColour = true;
}

// A stream list: 'strh' of type 'vids', then 'strf' with a QF25 bitmap
// header, then the chunks that describe the video further.
bool ReadStream(Span list, AviHeader& header)
{
    bool video = false;
    bool qf25 = false;
    EachChunk(Span{list.data + 4, list.size - 4}, [&](const uint8_t* tag, Span body) {
        if (std::memcmp(tag, "strh", 4) == 0) {
            video = body.size >= STREAM_HEADER_BYTES && std::memcmp(body.data, "vids", 4) == 0;
            const uint32_t scale = video ? Read32(body.data + 20) : 0;
            const uint32_t rate = video ? Read32(body.data + 24) : 0;
            if (scale > 0 && scale <= INT32_MAX && rate > 0 && rate <= INT32_MAX) {
                header.rateNum = int(rate);
                header.rateDen = int(scale);
            }
        } else if (video && std::memcmp(tag, "strf", 4) == 0 && body.size >= 20 &&
                   Read32(body.data + 16) == FOURCC_QF25) {
            qf25 = true;
            header.width = int(Read32(body.data + 4));
            header.height = int(Read32(body.data + 8));
        } else if (qf25 && std::memcmp(tag, "vprp", 4) == 0) {
            ReadVideoProperties(body, header);
        } else if (qf25 && std::memcmp(tag, AVI_COLOUR_CHUNK_ID, 4) == 0) {
            ReadColour(body, header);
        }
        return false;
    });
    return qf25;
}

}  // namespace

bool ReadAviHeader(const std::string& path, AviHeader& header)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return false;
    std::vector<uint8_t> bytes(MAX_HEADER_BYTES);
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
    std::fclose(file);
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(bytes.data() + 8, "AVI ", 4) != 0)
        return false;
    // The header list comes first, before the frames.
    return EachChunk(Span{bytes.data() + 12, bytes.size() - 12}, [&](const uint8_t* tag, Span body) {
        if (!IsList(tag, body, "hdrl"))
            return false;
        return EachChunk(Span{body.data + 4, body.size - 4}, [&](const uint8_t* innerTag, Span inner) {
            return IsList(innerTag, inner, "strl") && ReadStream(inner, header);
        });
    });
}
