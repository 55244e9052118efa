// SPDX-License-Identifier: BSD-2-Clause
#include "AviOutput.h"

#include "AviHeader.h"
#include "ToolError.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

extern "C" {
#include <libavutil/mathematics.h>
}

namespace {

constexpr uint32_t AVIF_HASINDEX = 0x10;
constexpr uint32_t AVIF_ISINTERLEAVED = 0x100;
constexpr uint32_t AVIIF_KEYFRAME = 0x10;
constexpr uint8_t AVI_INDEX_OF_INDEXES = 0;
constexpr uint8_t AVI_INDEX_OF_CHUNKS = 1;
constexpr uint32_t CHUNK_HEADER_BYTES = 8;
constexpr uint32_t IDX1_ENTRY_BYTES = 16;
constexpr uint32_t STANDARD_INDEX_HEADER_BYTES = 24;
constexpr uint32_t STANDARD_INDEX_ENTRY_BYTES = 8;
constexpr uint32_t DMLH_BYTES = 248;  // the size the extension specifies, mostly reserved
constexpr const char* FRAME_CHUNK_ID = "00dc";

struct Bytes {
    std::vector<uint8_t> data;

    void U8(uint32_t value) { data.push_back(uint8_t(value)); }
    void U16(uint32_t value)
    {
        U8(value);
        U8(value >> 8);
    }
    void U32(uint32_t value)
    {
        U16(value);
        U16(value >> 16);
    }
    void U64(uint64_t value)
    {
        U32(uint32_t(value));
        U32(uint32_t(value >> 32));
    }
    void Fourcc(const char* tag)
    {
        for (int i = 0; i < 4; ++i)
            U8(uint8_t(tag[i]));
    }
    void Append(const uint8_t* bytes, size_t count) { data.insert(data.end(), bytes, bytes + count); }
    void Zeros(size_t count) { data.insert(data.end(), count, 0); }
    // Starts a chunk or list and returns where its size goes.
    size_t Open(const char* tag, const char* listType = nullptr)
    {
        Fourcc(tag);
        const size_t sizeAt = data.size();
        U32(0);
        if (listType != nullptr)
            Fourcc(listType);
        return sizeAt;
    }
    void Close(size_t sizeAt)
    {
        const uint32_t size = uint32_t(data.size() - sizeAt - 4);
        for (int i = 0; i < 4; ++i)
            data[sizeAt + size_t(i)] = uint8_t(size >> (8 * i));
        if (size % 2 != 0)
            U8(0);
    }
};

[[noreturn]] void FailWrite(const AviWriter& writer)
{
    Fail(writer.path, std::string("cannot write: ") + std::strerror(errno));
}

void Write(AviWriter& writer, const uint8_t* bytes, size_t count)
{
    if (count != 0 && std::fwrite(bytes, 1, count, writer.file) != count)
        FailWrite(writer);
    writer.position += count;
}

void Write(AviWriter& writer, const Bytes& bytes)
{
    Write(writer, bytes.data.data(), bytes.data.size());
}

void WriteAt(AviWriter& writer, uint64_t offset, const Bytes& bytes)
{
    if (fseeko(writer.file, off_t(offset), SEEK_SET) != 0 ||
        std::fwrite(bytes.data.data(), 1, bytes.data.size(), writer.file) != bytes.data.size() ||
        fseeko(writer.file, off_t(writer.position), SEEK_SET) != 0)
        FailWrite(writer);
}

void PatchU32(AviWriter& writer, uint64_t offset, uint64_t value)
{
    Bytes bytes;
    bytes.U32(uint32_t(value));
    WriteAt(writer, offset, bytes);
}

uint32_t SuggestedBufferBytes(const AviWriter& writer)
{
    return writer.largestFrame + CHUNK_HEADER_BYTES;
}

struct VideoStandard {
    uint32_t formatToken;  // unknown, PAL square or 601, NTSC square or 601
    uint32_t standard;     // unknown, PAL, NTSC
};

// 625-line pictures at 25 frames/s are PAL, 525-line ones at 29.97 NTSC;
// 720 or 704 columns are sampled as BT.601 has it, 768 and 640 square.
VideoStandard StandardOf(const AviStreamInfo& stream)
{
    const bool pal = stream.height == 576 && stream.rate.num == 25 * stream.rate.den;
    const bool ntsc = (stream.height == 480 || stream.height == 486) && int64_t(stream.rate.num) * 1001 ==
                                                                         int64_t(stream.rate.den) * 30000;
    if (!pal && !ntsc)
        return {0, 0};
    const bool rec601 = stream.width == 720 || stream.width == 704;
    const bool square = stream.width == (pal ? 768 : 640);
    const uint32_t token = rec601 ? (pal ? 2 : 4) : square ? (pal ? 1 : 3) : 0;
    return {token, pal ? 1u : 2u};
}

void PutMainHeader(Bytes& out, const AviWriter& writer)
{
    const AviStreamInfo& stream = writer.stream;
    const size_t at = out.Open("avih");
    out.U32(uint32_t(av_rescale(1000000, stream.rate.den, stream.rate.num)));
    out.U32(uint32_t(av_rescale(writer.largestFrame, stream.rate.num, stream.rate.den)));
    out.U32(0);  // padding granularity
    out.U32(AVIF_HASINDEX | AVIF_ISINTERLEAVED);
    out.U32(writer.firstSegmentFrames);  // OpenDML: frames of the first RIFF only
    out.U32(0);                          // initial frames
    out.U32(1);                          // streams
    out.U32(SuggestedBufferBytes(writer));
    out.U32(uint32_t(stream.width));
    out.U32(uint32_t(stream.height));
    out.Zeros(16);
    out.Close(at);
}

void PutStreamHeader(Bytes& out, const AviWriter& writer)
{
    const AviStreamInfo& stream = writer.stream;
    const size_t at = out.Open("strh");
    out.Fourcc("vids");
    out.Fourcc("QF25");
    out.U32(0);  // flags
    out.U16(0);  // priority
    out.U16(0);  // language
    out.U32(0);  // initial frames
    out.U32(uint32_t(stream.rate.den));
    out.U32(uint32_t(stream.rate.num));
    out.U32(0);  // start
    out.U32(writer.totalFrames);
    out.U32(SuggestedBufferBytes(writer));
    out.U32(0xFFFFFFFF);  // quality: default
    out.U32(0);           // sample size: varies
    out.U16(0);
    out.U16(0);
    out.U16(uint32_t(stream.width));
    out.U16(uint32_t(stream.height));
    out.Close(at);
}

void PutSuperIndex(Bytes& out, const AviWriter& writer)
{
    const size_t at = out.Open("indx");
    out.U16(4);  // longs per entry
    out.U8(0);
    out.U8(AVI_INDEX_OF_INDEXES);
    out.U32(uint32_t(writer.segments.size()));
    out.Fourcc(FRAME_CHUNK_ID);
    out.Zeros(12);
    for (const AviSegmentRef& segment : writer.segments) {
        out.U64(segment.indexOffset);
        out.U32(segment.indexBytes);
        out.U32(segment.frames);
    }
    out.Zeros(16 * (AVI_MAX_SEGMENTS - writer.segments.size()));
    out.Close(at);
}

// Video properties: the display aspect ratio, the broadcast standard the
// geometry and rate belong to, and the fields in the order they are shown,
// each with the frame line it starts on; a progressive stream has one field.
void PutVideoProperties(Bytes& out, const AviWriter& writer)
{
    const AviStreamInfo& stream = writer.stream;
    AVRational aspect = av_mul_q(stream.sampleAspect, {stream.width, stream.height});
    av_reduce(&aspect.num, &aspect.den, aspect.num, aspect.den, 0xFFFF);
    const bool progressive = stream.fieldOrder == FieldOrder::PROGRESSIVE;
    const VideoStandard standard = StandardOf(stream);
    const int64_t fieldsPerSecond = progressive ? stream.rate.num : 2 * int64_t(stream.rate.num);
    const size_t at = out.Open("vprp");
    out.U32(standard.formatToken);
    out.U32(standard.standard);
    out.U32(uint32_t((2 * fieldsPerSecond + stream.rate.den) / (2 * int64_t(stream.rate.den))));
    out.U32(uint32_t(stream.width));
    out.U32(uint32_t(stream.height));
    out.U16(uint32_t(aspect.den));
    out.U16(uint32_t(aspect.num));
    out.U32(uint32_t(stream.width));
    out.U32(uint32_t(stream.height));
    out.U32(progressive ? 1 : 2);
    const int firstLine = stream.fieldOrder == FieldOrder::BOTTOM_FIRST ? 1 : 0;
    for (int field = 0; field < (progressive ? 1 : 2); ++field) {
        const int startLine = progressive ? 0 : (firstLine + field) % 2;
        const uint32_t lines = progressive ? uint32_t(stream.height) : uint32_t(stream.height + 1 - startLine) / 2;
        out.U32(lines);
        out.U32(uint32_t(stream.width));
        out.U32(lines);
        out.U32(uint32_t(stream.width));
        out.U32(0);
        out.U32(0);
        out.U32(0);
        out.U32(uint32_t(startLine));  // the field's first line in the frame
    }
    out.Close(at);
}

// AVI has no place for colour; this chunk, which other readers skip, keeps
// the H.273 code points and the range (always video range) of the stream.
void PutColour(Bytes& out, const ColourFacts& colour)
{
    if (colour == ColourFacts{})
        return;
    const size_t at = out.Open(AVI_COLOUR_CHUNK_ID);
    out.U16(colour.primaries);
    out.U16(colour.transfer);
    out.U16(colour.matrix);
    out.U16(AVCOL_RANGE_MPEG);
    out.Close(at);
}

// Everything from the RIFF tag to the first 'movi' list type. Its size never
// changes, so closing the file rewrites it in place with the final counts.
Bytes FileHeader(const AviWriter& writer)
{
    Bytes out;
    out.Fourcc("RIFF");
    out.U32(uint32_t(writer.firstRiffBytes));
    out.Fourcc("AVI ");
    const size_t headerList = out.Open("LIST", "hdrl");
    PutMainHeader(out, writer);
    const size_t streamList = out.Open("LIST", "strl");
    PutStreamHeader(out, writer);
    const size_t format = out.Open("strf");
    out.Append(writer.stream.format.data(), writer.stream.format.size());
    out.Close(format);
    PutSuperIndex(out, writer);
    PutVideoProperties(out, writer);
    PutColour(out, writer.stream.colour);
    out.Close(streamList);
    const size_t extensionList = out.Open("LIST", "odml");
    const size_t extendedHeader = out.Open("dmlh");
    out.U32(writer.totalFrames);
    out.Zeros(DMLH_BYTES - 4);
    out.Close(extendedHeader);
    out.Close(extensionList);
    out.Close(headerList);
    out.Fourcc("LIST");
    out.U32(uint32_t(writer.firstMoviBytes));
    out.Fourcc("movi");
    return out;
}

bool InFirstSegment(const AviWriter& writer)
{
    return writer.segments.empty();
}

// The indexes still to come at the end of the segment must fit under the limit too.
uint64_t PendingIndexBytes(const AviWriter& writer, size_t chunks)
{
    uint64_t bytes = CHUNK_HEADER_BYTES + STANDARD_INDEX_HEADER_BYTES + STANDARD_INDEX_ENTRY_BYTES * chunks;
    if (InFirstSegment(writer))
        bytes += CHUNK_HEADER_BYTES + IDX1_ENTRY_BYTES * chunks;
    return bytes;
}

void EndSegment(AviWriter& writer)
{
    const uint64_t base = writer.moviStart;
    Bytes index;
    const uint64_t indexOffset = writer.position;
    const size_t at = index.Open("ix00");
    index.U16(2);  // longs per entry
    index.U8(0);
    index.U8(AVI_INDEX_OF_CHUNKS);
    index.U32(uint32_t(writer.segmentChunks.size()));
    index.Fourcc(FRAME_CHUNK_ID);
    index.U64(base);
    index.U32(0);
    for (const AviChunkRef& chunk : writer.segmentChunks) {
        index.U32(uint32_t(chunk.offset));
        index.U32(chunk.size);  // the top bit clear: a key frame
    }
    index.Close(at);
    Write(writer, index);
    const uint64_t moviBytes = writer.position - writer.moviStart;

    if (InFirstSegment(writer)) {
        Bytes legacy;
        const size_t legacyAt = legacy.Open("idx1");
        for (const AviChunkRef& chunk : writer.segmentChunks) {
            legacy.Fourcc(FRAME_CHUNK_ID);
            legacy.U32(AVIIF_KEYFRAME);
            legacy.U32(uint32_t(chunk.offset - CHUNK_HEADER_BYTES));
            legacy.U32(chunk.size);
        }
        legacy.Close(legacyAt);
        Write(writer, legacy);
        writer.firstMoviBytes = moviBytes;
        writer.firstRiffBytes = writer.position - 8;
        writer.firstSegmentFrames = uint32_t(writer.segmentChunks.size());
    } else {
        PatchU32(writer, writer.moviStart - 4, moviBytes);
        PatchU32(writer, writer.segmentStart + 4, writer.position - writer.segmentStart - 8);
    }
    writer.segments.push_back(
        {indexOffset, uint32_t(index.data.size()), uint32_t(writer.segmentChunks.size())});
    writer.segmentChunks.clear();
}

void StartExtensionSegment(AviWriter& writer)
{
    if (writer.segments.size() == AVI_MAX_SEGMENTS)
        Fail(writer.path, "the file would exceed " + std::to_string(AVI_MAX_SEGMENTS) + " AVI segments");
    writer.segmentStart = writer.position;
    Bytes out;
    out.Fourcc("RIFF");
    out.U32(0);
    out.Fourcc("AVIX");
    out.Fourcc("LIST");
    out.U32(0);
    out.Fourcc("movi");
    Write(writer, out);
    writer.moviStart = writer.position - 4;
}

}  // namespace

AviWriter::~AviWriter()
{
    if (file != nullptr)
        std::fclose(file);
}

void OpenAvi(AviWriter& writer, const std::string& writePath, const AviStreamInfo& stream, uint64_t segmentLimit)
{
    if (writer.path.empty())
        writer.path = writePath;
    writer.stream = stream;
    writer.segmentLimit = segmentLimit;
    if (writer.stream.sampleAspect.num <= 0 || writer.stream.sampleAspect.den <= 0)
        writer.stream.sampleAspect = {1, 1};
    writer.file = std::fopen(writePath.c_str(), "wb");
    if (writer.file == nullptr)
        Fail(writer.path, std::strerror(errno));
    Write(writer, FileHeader(writer));
    writer.moviStart = writer.position - 4;
}

void WriteAviFrame(AviWriter& writer, const uint8_t* data, uint32_t size)
{
    const uint64_t chunkBytes = CHUNK_HEADER_BYTES + size + size % 2;
    const uint64_t segmentBytes = writer.position - writer.segmentStart + chunkBytes +
                                  PendingIndexBytes(writer, writer.segmentChunks.size() + 1);
    if (!writer.segmentChunks.empty() && segmentBytes > writer.segmentLimit) {
        EndSegment(writer);
        StartExtensionSegment(writer);
    }
    Bytes header;
    header.Fourcc(FRAME_CHUNK_ID);
    header.U32(size);
    Write(writer, header);
    writer.segmentChunks.push_back({writer.position - writer.moviStart, size});
    Write(writer, data, size);
    if (size % 2 != 0) {
        const uint8_t pad = 0;
        Write(writer, &pad, 1);
    }
    ++writer.totalFrames;
    writer.largestFrame = std::max(writer.largestFrame, size);
}

void CloseAvi(AviWriter& writer)
{
    EndSegment(writer);
    Bytes header = FileHeader(writer);
    WriteAt(writer, 0, header);
    FILE* file = writer.file;
    writer.file = nullptr;
    if (std::fflush(file) != 0 || std::fclose(file) != 0)
        FailWrite(writer);
}
