// SPDX-License-Identifier: BSD-2-Clause
// `qf25 info`'s lines for the streams besides the coded video, and for the
// file's tags.
#pragma once

#include "Ffmpeg.h"

// One line per stream other than `videoIndex`: index, kind, codec, rate,
// sample format and channels, duration, start, language and title.
void PrintOtherStreams(const AVFormatContext& demuxer, int videoIndex);
void PrintTags(const AVFormatContext& demuxer);
