// SPDX-License-Identifier: BSD-2-Clause
// The tags of a file and of its streams (title, comment, creation time,
// language, encoder, timecode...), carried to the output: all of them to
// FFmpeg's muxers, which keep what their container can; to a QF25 AVI those
// its INFO list, IDIT chunk and stream names hold. What the written file does
// not give back is named.
#pragma once

#include "AviOutput.h"
#include "Ffmpeg.h"

#include <string>
#include <vector>

// Keys that containers make up for themselves (durations, statistics, the
// handler's name, the program that wrote them): rewritten by every muxer,
// never a loss worth naming.
bool IsBookkeepingTag(const std::string& key);

// The file's tags, with the coded video's timecode when the file has none.
AVDictionary* FileTags(const AVFormatContext& input, const AVStream& video);
// The coded video's tags, without the name of the encoder that coded it
// before, nor an alpha mode: QF25 pictures have no alpha.
AVDictionary* VideoTags(const AVStream& video);

// Adds the file's tags that AVI holds to `tags`.
void AddAviFileTags(const AVDictionary* metadata, std::vector<AviTag>& tags);
// The tags of `expected` whose value `found` lacks, under any name (a time:
// its moment), as "key (value)". Streams' own
// creation times, which some containers copy from the file's, are not missed.
std::vector<std::string> MissingTags(const AVDictionary* expected, const AVDictionary* found, bool stream);
