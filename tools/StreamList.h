// SPDX-License-Identifier: BSD-2-Clause
// `qf25 info`'s lines for the streams besides the coded video, and for the
// file's tags.
#pragma once

#include "Ffmpeg.h"

#include <string>

// "pcm_s24le", or a FourCC the codecs do not know ("'tmcd'"), or an
// attachment's file name; empty when there is nothing to say.
std::string CodecName(const AVStream& stream);
// One line per stream other than `videoIndex`: index, kind, codec, rate,
// sample format and channels, duration, start, language and title.
void PrintOtherStreams(const AVFormatContext& demuxer, int videoIndex);
void PrintTags(const AVFormatContext& demuxer);
