// SPDX-License-Identifier: BSD-2-Clause
#include "AviOutput.h"

#include "AviHeader.h"
#include "RiffBytes.h"
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

void Write(AviWriter& writer, const RiffBytes& bytes)
{
    Write(writer, bytes.data.data(), bytes.data.size());
}

void WriteAt(AviWriter& writer, uint64_t offset, const RiffBytes& bytes)
{
    if (fseeko(writer.file, off_t(offset), SEEK_SET) != 0 ||
        std::fwrite(bytes.data.data(), 1, bytes.data.size(), writer.file) != bytes.data.size() ||
        fseeko(writer.file, off_t(writer.position), SEEK_SET) != 0)
        FailWrite(writer);
}

void PatchU32(AviWriter& writer, uint64_t offset, uint64_t value)
{
    RiffBytes bytes;
    bytes.U32(uint32_t(value));
    WriteAt(writer, offset, bytes);
}

void EnsureVideoTrack(AviWriter& writer)
{
    if (writer.tracks.empty())
        writer.tracks.emplace_back();
}

uint32_t SuggestedBufferBytes(const AviTrack& track)
{
    return track.largestChunk + CHUNK_HEADER_BYTES;
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

void PutMainHeader(RiffBytes& out, const AviWriter& writer)
{
    const AviStreamInfo& stream = writer.stream;
    uint32_t largest = 0;
    int64_t bytesPerSecond = av_rescale(writer.tracks[0].largestChunk, stream.rate.num, stream.rate.den);
    for (const AviTrack& track : writer.tracks) {
        largest = std::max(largest, SuggestedBufferBytes(track));
        if (&track != &writer.tracks[0])
            bytesPerSecond += int64_t(track.audio.sampleRate) * AviBlockBytes(track.audio);
    }
    const size_t at = out.Open("avih");
    out.U32(uint32_t(av_rescale(1000000, stream.rate.den, stream.rate.num)));
    out.U32(uint32_t(bytesPerSecond));
    out.U32(0);  // padding granularity
    out.U32(AVIF_HASINDEX | AVIF_ISINTERLEAVED);
    out.U32(writer.firstSegmentFrames);  // OpenDML: frames of the first RIFF only
    out.U32(0);                          // initial frames
    out.U32(uint32_t(writer.tracks.size()));
    out.U32(largest);
    out.U32(uint32_t(stream.width));
    out.U32(uint32_t(stream.height));
    out.Zeros(16);
    out.Close(at);
}

void PutVideoStreamHeader(RiffBytes& out, const AviWriter& writer)
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
    out.U32(uint32_t(writer.tracks[0].units));
    out.U32(SuggestedBufferBytes(writer.tracks[0]));
    out.U32(0xFFFFFFFF);  // quality: default
    out.U32(0);           // sample size: varies
    out.U16(0);
    out.U16(0);
    out.U16(uint32_t(stream.width));
    out.U16(uint32_t(stream.height));
    out.Close(at);
}

void PutSuperIndex(RiffBytes& out, const AviTrack& track)
{
    const size_t at = out.Open("indx");
    out.U16(4);  // longs per entry
    out.U8(0);
    out.U8(AVI_INDEX_OF_INDEXES);
    out.U32(uint32_t(track.segments.size()));
    out.Fourcc(track.chunkId);
    out.Zeros(12);
    for (const AviSegmentRef& segment : track.segments) {
        out.U64(segment.indexOffset);
        out.U32(segment.indexBytes);
        out.U32(segment.duration);
    }
    out.Zeros(16 * (AVI_MAX_SEGMENTS - track.segments.size()));
    out.Close(at);
}

// Video properties: the display aspect ratio, the broadcast standard the
// geometry and rate belong to, and the fields in the order they are shown,
// each with the frame line it starts on; a progressive stream has one field.
void PutVideoProperties(RiffBytes& out, const AviWriter& writer)
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
void PutColour(RiffBytes& out, const ColourFacts& colour)
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

void PutStreamList(RiffBytes& out, const AviWriter& writer, const AviTrack& track)
{
    const bool video = &track == &writer.tracks[0];
    const size_t streamList = out.Open("LIST", "strl");
    if (video)
        PutVideoStreamHeader(out, writer);
    else
        PutAudioStreamHeader(out, track.audio, track.units, SuggestedBufferBytes(track));
    const size_t format = out.Open("strf");
    if (video)
        out.Append(writer.stream.format.data(), writer.stream.format.size());
    else
        PutWaveFormat(out, track.audio);
    out.Close(format);
    PutSuperIndex(out, track);
    if (video) {
        PutVideoProperties(out, writer);
        PutColour(out, writer.stream.colour);
    }
    const std::string& title = video ? writer.stream.title : track.audio.title;
    if (!title.empty())
        out.Text("strn", title);
    out.Close(streamList);
}

void PutInfoList(RiffBytes& out, const AviWriter& writer)
{
    const auto isInfo = [](const AviTag& tag) { return tag.id != "IDIT"; };
    if (std::none_of(writer.tags.begin(), writer.tags.end(), isInfo))
        return;
    const size_t at = out.Open("LIST", "INFO");
    for (const AviTag& tag : writer.tags) {
        if (isInfo(tag))
            out.Text(tag.id.c_str(), tag.text);
    }
    out.Close(at);
}

// Everything from the RIFF tag to the first 'movi' list type. Its size never
// changes, so closing the file rewrites it in place with the final counts.
RiffBytes FileHeader(const AviWriter& writer)
{
    RiffBytes out;
    out.Fourcc("RIFF");
    out.U32(uint32_t(writer.firstRiffBytes));
    out.Fourcc("AVI ");
    const size_t headerList = out.Open("LIST", "hdrl");
    PutMainHeader(out, writer);
    for (const AviTrack& track : writer.tracks)
        PutStreamList(out, writer, track);
    const size_t extensionList = out.Open("LIST", "odml");
    const size_t extendedHeader = out.Open("dmlh");
    out.U32(uint32_t(writer.tracks[0].units));
    out.Zeros(DMLH_BYTES - 4);
    out.Close(extendedHeader);
    out.Close(extensionList);
    for (const AviTag& tag : writer.tags) {
        if (tag.id == "IDIT")
            out.Text("IDIT", tag.text);
    }
    out.Close(headerList);
    PutInfoList(out, writer);
    out.Fourcc("LIST");
    out.U32(uint32_t(writer.firstMoviBytes));
    out.Fourcc("movi");
    return out;
}

bool InFirstSegment(const AviWriter& writer)
{
    return writer.segmentCount == 0;
}

bool SegmentHasChunks(const AviWriter& writer)
{
    return std::any_of(writer.tracks.begin(), writer.tracks.end(),
                       [](const AviTrack& track) { return !track.segmentChunks.empty(); });
}

// The indexes still to come at the end of the segment, with one more chunk
// of `track`, must fit under the limit too.
uint64_t PendingIndexBytes(const AviWriter& writer, size_t track)
{
    uint64_t bytes = 0;
    size_t chunks = 1;
    for (size_t i = 0; i < writer.tracks.size(); ++i) {
        const size_t count = writer.tracks[i].segmentChunks.size() + (i == track ? 1 : 0);
        if (count != 0)
            bytes += CHUNK_HEADER_BYTES + STANDARD_INDEX_HEADER_BYTES + STANDARD_INDEX_ENTRY_BYTES * count;
        chunks += writer.tracks[i].segmentChunks.size();
    }
    if (InFirstSegment(writer))
        bytes += CHUNK_HEADER_BYTES + IDX1_ENTRY_BYTES * chunks;
    return bytes;
}

void WriteStandardIndex(AviWriter& writer, AviTrack& track, size_t number)
{
    const char id[5] = {'i', 'x', char('0' + number / 10), char('0' + number % 10), 0};
    RiffBytes index;
    const uint64_t indexOffset = writer.position;
    const size_t at = index.Open(id);
    index.U16(2);  // longs per entry
    index.U8(0);
    index.U8(AVI_INDEX_OF_CHUNKS);
    index.U32(uint32_t(track.segmentChunks.size()));
    index.Fourcc(track.chunkId);
    index.U64(writer.moviStart);
    index.U32(0);
    for (const AviChunkRef& chunk : track.segmentChunks) {
        index.U32(uint32_t(chunk.offset));
        index.U32(chunk.size);  // the top bit clear: a key frame
    }
    index.Close(at);
    Write(writer, index);
    track.segments.push_back({indexOffset, uint32_t(index.data.size()), track.segmentUnits});
    track.segmentChunks.clear();
    track.segmentUnits = 0;
}

void EndSegment(AviWriter& writer)
{
    for (size_t i = 0; i < writer.tracks.size(); ++i) {
        if (!writer.tracks[i].segmentChunks.empty() || (i == 0 && writer.segmentCount == 0))
            WriteStandardIndex(writer, writer.tracks[i], i);
    }
    const uint64_t moviBytes = writer.position - writer.moviStart;

    if (InFirstSegment(writer)) {
        RiffBytes legacy;
        const size_t legacyAt = legacy.Open("idx1");
        for (const AviLegacyRef& chunk : writer.legacyIndex) {
            legacy.Fourcc(writer.tracks[chunk.track].chunkId);
            legacy.U32(AVIIF_KEYFRAME);
            legacy.U32(uint32_t(chunk.offset - CHUNK_HEADER_BYTES));
            legacy.U32(chunk.size);
        }
        legacy.Close(legacyAt);
        Write(writer, legacy);
        writer.legacyIndex.clear();
        writer.firstMoviBytes = moviBytes;
        writer.firstRiffBytes = writer.position - 8;
        writer.firstSegmentFrames = uint32_t(writer.tracks[0].units);
    } else {
        PatchU32(writer, writer.moviStart - 4, moviBytes);
        PatchU32(writer, writer.segmentStart + 4, writer.position - writer.segmentStart - 8);
    }
    ++writer.segmentCount;
}

void StartExtensionSegment(AviWriter& writer)
{
    if (writer.segmentCount == AVI_MAX_SEGMENTS)
        Fail(writer.path, "the file would exceed " + std::to_string(AVI_MAX_SEGMENTS) + " AVI segments");
    writer.segmentStart = writer.position;
    RiffBytes out;
    out.Fourcc("RIFF");
    out.U32(0);
    out.Fourcc("AVIX");
    out.Fourcc("LIST");
    out.U32(0);
    out.Fourcc("movi");
    Write(writer, out);
    writer.moviStart = writer.position - 4;
}

void WriteChunk(AviWriter& writer, size_t trackIndex, const uint8_t* data, uint32_t size, uint32_t units)
{
    const uint64_t chunkBytes = CHUNK_HEADER_BYTES + size + size % 2;
    const uint64_t segmentBytes =
        writer.position - writer.segmentStart + chunkBytes + PendingIndexBytes(writer, trackIndex);
    if (SegmentHasChunks(writer) && segmentBytes > writer.segmentLimit) {
        EndSegment(writer);
        StartExtensionSegment(writer);
    }
    AviTrack& track = writer.tracks[trackIndex];
    RiffBytes header;
    header.Fourcc(track.chunkId);
    header.U32(size);
    Write(writer, header);
    track.segmentChunks.push_back({writer.position - writer.moviStart, size});
    if (InFirstSegment(writer))
        writer.legacyIndex.push_back({uint32_t(trackIndex), writer.position - writer.moviStart, size});
    Write(writer, data, size);
    if (size % 2 != 0) {
        const uint8_t pad = 0;
        Write(writer, &pad, 1);
    }
    track.units += units;
    track.segmentUnits += units;
    track.largestChunk = std::max(track.largestChunk, size);
}

AviTrack& AudioTrack(AviWriter& writer, int audio)
{
    if (audio < 0 || size_t(audio) + 1 >= writer.tracks.size())
        Fail(writer.path, "there is no sound stream " + std::to_string(audio));
    return writer.tracks[size_t(audio) + 1];
}

// Sample blocks that start before the end of `frames` frames.
uint64_t BlocksBefore(const AviWriter& writer, const AviTrack& track, uint64_t frames)
{
    const AVRational rate = writer.stream.rate;
    return uint64_t(av_rescale_rnd(int64_t(frames), int64_t(track.audio.sampleRate) * rate.den, rate.num,
                                   AV_ROUND_UP));
}

// Writes held sound up to block `end`, a frame's worth to a chunk.
void WriteHeldSound(AviWriter& writer, size_t trackIndex, uint64_t end)
{
    AviTrack& track = writer.tracks[trackIndex];
    const uint32_t blockBytes = AviBlockBytes(track.audio);
    const uint64_t frameBlocks = std::max<uint64_t>(BlocksBefore(writer, track, 1), 1);
    size_t done = 0;
    while (track.units < end && track.pending.size() - done >= blockBytes) {
        const uint64_t blocks =
            std::min({end - track.units, frameBlocks, uint64_t((track.pending.size() - done) / blockBytes)});
        const uint32_t bytes = uint32_t(blocks * blockBytes);
        WriteChunk(writer, trackIndex, track.pending.data() + done, bytes, uint32_t(blocks));
        done += bytes;
    }
    track.pending.erase(track.pending.begin(), track.pending.begin() + std::ptrdiff_t(done));
}

// What is due by the pictures written so far, and what has been held for
// longer than a second.
void WriteDueSound(AviWriter& writer, size_t trackIndex)
{
    AviTrack& track = writer.tracks[trackIndex];
    WriteHeldSound(writer, trackIndex, BlocksBefore(writer, track, writer.tracks[0].units));
    const uint64_t held = track.pending.size() / AviBlockBytes(track.audio);
    const uint64_t limit = uint64_t(track.audio.sampleRate);
    if (held > limit)
        WriteHeldSound(writer, trackIndex, track.units + held - limit);
}

}  // namespace

AviWriter::~AviWriter()
{
    if (file != nullptr)
        std::fclose(file);
}

int AddAviAudio(AviWriter& writer, const AviAudioInfo& audio)
{
    EnsureVideoTrack(writer);
    if (!IsAviAudioFormat(audio))
        Fail(writer.path, "AVI sound of " + std::to_string(audio.channels) + " channels of " +
                              std::to_string(audio.bitsPerSample) + " bits at " + std::to_string(audio.sampleRate) +
                              " Hz is not written");
    const size_t number = writer.tracks.size();
    if (number > AVI_MAX_AUDIO_STREAMS)
        Fail(writer.path, "an AVI file holds at most " + std::to_string(AVI_MAX_AUDIO_STREAMS) + " sound streams");
    AviTrack track;
    const char id[4] = {char('0' + number / 10), char('0' + number % 10), 'w', 'b'};
    std::memcpy(track.chunkId, id, 4);
    track.audio = audio;
    writer.tracks.push_back(track);
    return int(number - 1);
}

void OpenAvi(AviWriter& writer, const std::string& writePath, const AviStreamInfo& stream, uint64_t segmentLimit)
{
    if (writer.path.empty())
        writer.path = writePath;
    EnsureVideoTrack(writer);
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
    for (size_t i = 1; i < writer.tracks.size(); ++i)
        WriteHeldSound(writer, i, BlocksBefore(writer, writer.tracks[i], writer.tracks[0].units + 1));
    WriteChunk(writer, 0, data, size, 1);
}

void WriteAviAudio(AviWriter& writer, int audio, const uint8_t* data, size_t bytes)
{
    AviTrack& track = AudioTrack(writer, audio);
    track.pending.insert(track.pending.end(), data, data + bytes);
    WriteDueSound(writer, size_t(audio) + 1);
}

void WriteAviSilence(AviWriter& writer, int audio, uint64_t blocks)
{
    AviTrack& track = AudioTrack(writer, audio);
    const uint32_t blockBytes = AviBlockBytes(track.audio);
    const uint64_t second = uint64_t(track.audio.sampleRate);
    for (uint64_t done = 0; done < blocks;) {
        const uint64_t count = std::min(blocks - done, second);
        track.pending.insert(track.pending.end(), size_t(count * blockBytes), AviSilenceByte(track.audio));
        WriteDueSound(writer, size_t(audio) + 1);
        done += count;
    }
}

uint64_t AviAudioBlocks(const AviWriter& writer, int audio)
{
    const AviTrack& track = writer.tracks.at(size_t(audio) + 1);
    return track.units + track.pending.size() / AviBlockBytes(track.audio);
}

int64_t PlaceAviAudio(AviWriter& writer, int audio, int64_t at, const uint8_t* data, size_t bytes)
{
    const AviTrack& track = AudioTrack(writer, audio);
    const uint32_t blockBytes = AviBlockBytes(track.audio);
    const int64_t given = int64_t(AviAudioBlocks(writer, audio));
    const int64_t slack = given == 0 ? 0 : int64_t(BlocksBefore(writer, track, 1)) / 2;
    int64_t change = 0;
    if (at > given + slack) {
        change = at - given;
        WriteAviSilence(writer, audio, uint64_t(change));
    } else if (given == 0 && at < 0) {
        const int64_t skipped = std::min(int64_t(bytes / blockBytes), -at);
        change = -skipped;
        data += skipped * blockBytes;
        bytes -= size_t(skipped) * blockBytes;
    }
    WriteAviAudio(writer, audio, data, bytes);
    return change;
}

void CloseAvi(AviWriter& writer)
{
    // The sound still held, in time order across the streams.
    for (;;) {
        size_t earliest = 0;
        for (size_t i = 1; i < writer.tracks.size(); ++i) {
            const AviTrack& track = writer.tracks[i];
            if (track.pending.size() < AviBlockBytes(track.audio))
                continue;
            if (earliest == 0 || double(track.units) / track.audio.sampleRate <
                                     double(writer.tracks[earliest].units) / writer.tracks[earliest].audio.sampleRate)
                earliest = i;
        }
        if (earliest == 0)
            break;
        AviTrack& track = writer.tracks[earliest];
        WriteHeldSound(writer, earliest, track.units + BlocksBefore(writer, track, 1));
    }
    EndSegment(writer);
    RiffBytes header = FileHeader(writer);
    WriteAt(writer, 0, header);
    FILE* file = writer.file;
    writer.file = nullptr;
    if (std::fflush(file) != 0 || std::fclose(file) != 0)
        FailWrite(writer);
}
