// SPDX-License-Identifier: BSD-2-Clause
#include "AviGeometry.h"

#include "Codec.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// The headers of files that play take a few kilobytes; a size limit keeps
// hostile ones from taking memory.
constexpr size_t MAX_HEADER_BYTES = 1 << 20;
constexpr size_t STREAM_HEADER_BYTES = 56;

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

// A stream list: 'strh' of type 'vids', then 'strf' with a QF25 bitmap header.
bool ReadStream(Span list, AviGeometry& geometry)
{
    bool video = false;
    return EachChunk(Span{list.data + 4, list.size - 4}, [&](const uint8_t* tag, Span body) {
        if (std::memcmp(tag, "strh", 4) == 0) {
            video = body.size >= STREAM_HEADER_BYTES && std::memcmp(body.data, "vids", 4) == 0;
            const uint32_t scale = video ? Read32(body.data + 20) : 0;
            const uint32_t rate = video ? Read32(body.data + 24) : 0;
            if (scale > 0 && scale <= INT32_MAX && rate > 0 && rate <= INT32_MAX) {
                geometry.rateNum = int(rate);
                geometry.rateDen = int(scale);
            }
        }
        if (!video || std::memcmp(tag, "strf", 4) != 0 || body.size < 20 || Read32(body.data + 16) != FOURCC_QF25)
            return false;
        geometry.width = int(Read32(body.data + 4));
        geometry.height = int(Read32(body.data + 8));
        return true;
    });
}

}  // namespace

bool ReadAviGeometry(const std::string& path, AviGeometry& geometry)
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
            return IsList(innerTag, inner, "strl") && ReadStream(inner, geometry);
        });
    });
}
