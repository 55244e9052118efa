// SPDX-License-Identifier: BSD-2-Clause
// Every stream of the input besides the video the command codes (sound,
// further video, subtitles, data) and the tags of the file and its streams,
// carried to the output: copied packet for packet where the output holds the
// codec, sound converted to PCM or FLAC where it does not, and whatever
// cannot be kept named in a warning. Packets wait until the pictures reach
// their time, so the output interleaves them, and a cut (--frames, Ctrl-C)
// cuts them with the pictures. Times stay those of the input, counted from
// its first picture, so the sound plays with the same picture as before
// whatever pictures are left out or repeated.
#pragma once

#include "AudioConvert.h"
#include "AviOutput.h"
#include "Ffmpeg.h"

#include <deque>
#include <string>
#include <vector>

struct CarryOptions {
    bool noAudio = false;
    bool noStreams = false;
    std::string audioCodec;  // an FFmpeg encoder; empty or "copy": copied where the output holds it
    bool quiet = false;
};

// Where the streams go: a QF25 AVI of our own writer (no format), one of
// FFmpeg's muxers, or an output that holds nothing but pictures.
struct CarryTarget {
    std::string path;  // for messages
    const AVOutputFormat* format = nullptr;
    bool picturesOnly = false;
};

struct CarriedStream {
    int input = -1;
    int output = -1;   // the muxer's stream, or the AVI sound stream
    std::string name;  // "stream 1 (pcm_s24le audio)"
    bool convert = false;
    AudioConverter converter;
    AviAudioInfo avi;
    int64_t samples = 0;   // PCM samples read, against what the input declares
    bool damaged = false;
    int damageLines = 0;
};

struct StreamCarrier {
    std::string inPath;
    CarryTarget target;
    CarryOptions options;
    AVFormatContext* input = nullptr;
    const AVStream* video = nullptr;
    AVRational rate = {25, 1};
    std::vector<CarriedStream> streams;
    std::vector<int> slots;  // by input stream: its place in `streams`, or -1
    std::string timecode;    // of a timecode track, when the file's tags have none
    AviWriter* avi = nullptr;
    AVFormatContext* muxer = nullptr;
    std::deque<PacketPtr> held;  // read ahead of the pictures
    int64_t origin = AV_NOPTS_VALUE;  // the first picture's time in the input, in microseconds
    int64_t leadFrames = 0;           // black pictures before it, for sound that starts earlier
    std::vector<int> damagedStreams;
};

// Decides what becomes of each stream and says so where one is converted or
// left out. The input must outlive the carrier.
StreamCarrier PlanCarriedStreams(const std::string& inPath, AVFormatContext& input, int videoIndex, AVRational rate,
                                 const CarryTarget& target, const CarryOptions& options);
// Before the output's header is written: a QF25 AVI's sound streams, stream
// names and tags, or a muxer's streams and tags.
void AddCarriedAvi(StreamCarrier& carrier, AviWriter& writer, AviStreamInfo& video);
void AddCarriedMuxerStreams(StreamCarrier& carrier, AVFormatContext& muxer, AVStream& video);
// Every packet the input reader passes over; it is kept when carried.
void HoldCarriedPacket(StreamCarrier& carrier, AVPacket& packet);
// The first picture's timestamp (in the video's time base). Returns the
// black pictures that must come first, in a QF25 AVI whose sound starts
// before the first picture.
int64_t StartCarriedTimeline(StreamCarrier& carrier, int64_t firstPts);
// After `frames` pictures since the first: writes what starts before their end.
void ReleaseCarried(StreamCarrier& carrier, int64_t frames);

enum class CarryEnd { COMPLETE, CUT, INTERRUPTED };
// Reads what the input still holds (to its end, or past a cut), writes what
// belongs to the output, drains the converters, reports streams that ended
// short, and names the damaged ones. Returns whether any was damaged.
bool FinishCarried(StreamCarrier& carrier, CarryEnd end, int64_t frames);
// After the output is complete: names the tags the file at `written` does
// not give back.
void CheckCarriedTags(const StreamCarrier& carrier, const std::string& written);
// ", 2 more streams" for the summary line, or nothing.
std::string CarriedSummary(const StreamCarrier& carrier);
