// SPDX-License-Identifier: BSD-2-Clause
// A sound stream of a QF25 AVI: uncompressed PCM, interleaved channels,
// little-endian. Its stream format is WAVEFORMATEX, or WAVEFORMATEXTENSIBLE
// for more than two channels or more than 16 bits, as Windows and the
// players that follow it expect.
#pragma once

#include "RiffBytes.h"

#include <cstdint>
#include <string>

struct AviAudioInfo {
    int channels = 0;
    int sampleRate = 0;
    int bitsPerSample = 0;  // 8 (unsigned), 16, 24 or 32 for integers; 32 or 64 for floats
    bool isFloat = false;
    uint32_t channelMask = 0;  // the speakers, in WAVE's bits; 0 when unknown
    std::string title;
};

// Whether the writer takes sound of this kind.
bool IsAviAudioFormat(const AviAudioInfo& audio);
// One sample of every channel.
uint32_t AviBlockBytes(const AviAudioInfo& audio);
// The byte that silence is made of.
uint8_t AviSilenceByte(const AviAudioInfo& audio);
void PutWaveFormat(RiffBytes& out, const AviAudioInfo& audio);
// Time is counted in sample blocks: a block is the stream's sample.
void PutAudioStreamHeader(RiffBytes& out, const AviAudioInfo& audio, uint64_t blocks, uint32_t largestChunk);
