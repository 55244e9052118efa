// SPDX-License-Identifier: BSD-2-Clause
#include "AviSound.h"

namespace {

constexpr uint16_t WAVE_FORMAT_PCM = 1;
constexpr uint16_t WAVE_FORMAT_IEEE_FLOAT = 3;
constexpr uint16_t WAVE_FORMAT_EXTENSIBLE = 0xFFFE;
constexpr uint16_t EXTENSIBLE_EXTRA_BYTES = 22;
// The tail shared by the sub-format GUIDs of PCM and float: {0000000X-0000-0010-8000-00AA00389B71}.
constexpr uint8_t SUBFORMAT_TAIL[] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                      0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

uint32_t ByteRate(const AviAudioInfo& audio)
{
    return uint32_t(audio.sampleRate) * AviBlockBytes(audio);
}

}  // namespace

bool IsAviAudioFormat(const AviAudioInfo& audio)
{
    const int bits = audio.bitsPerSample;
    const bool known = audio.isFloat ? bits == 32 || bits == 64 : bits == 8 || bits == 16 || bits == 24 || bits == 32;
    // The block and the byte rate must fit their 16 and 32 bits.
    return known && audio.channels > 0 && audio.channels <= 64 && audio.sampleRate > 0 &&
           audio.sampleRate <= 1000000;
}

uint32_t AviBlockBytes(const AviAudioInfo& audio)
{
    return uint32_t(audio.channels) * uint32_t(audio.bitsPerSample / 8);
}

uint8_t AviSilenceByte(const AviAudioInfo& audio)
{
    return audio.bitsPerSample == 8 ? 0x80 : 0;
}

void PutWaveFormat(RiffBytes& out, const AviAudioInfo& audio)
{
    const uint16_t tag = audio.isFloat ? WAVE_FORMAT_IEEE_FLOAT : WAVE_FORMAT_PCM;
    const bool extensible = audio.channels > 2 || audio.bitsPerSample > 16;
    out.U16(extensible ? WAVE_FORMAT_EXTENSIBLE : tag);
    out.U16(uint32_t(audio.channels));
    out.U32(uint32_t(audio.sampleRate));
    out.U32(ByteRate(audio));
    out.U16(AviBlockBytes(audio));
    out.U16(uint32_t(audio.bitsPerSample));
    if (!extensible) {
        out.U16(0);
        return;
    }
    out.U16(EXTENSIBLE_EXTRA_BYTES);
    out.U16(uint32_t(audio.bitsPerSample));  // every bit of the container is valid
    out.U32(audio.channelMask);
    out.U16(tag);
    out.Append(SUBFORMAT_TAIL, sizeof SUBFORMAT_TAIL);
}

void PutAudioStreamHeader(RiffBytes& out, const AviAudioInfo& audio, uint64_t blocks, uint32_t largestChunk)
{
    const size_t at = out.Open("strh");
    out.Fourcc("auds");
    out.U32(0);  // handler: none for PCM
    out.U32(0);  // flags
    out.U16(0);  // priority
    out.U16(0);  // language
    out.U32(0);  // initial frames
    out.U32(AviBlockBytes(audio));  // scale and rate: blocks per second
    out.U32(ByteRate(audio));
    out.U32(0);  // start
    out.U32(uint32_t(blocks));
    out.U32(largestChunk);
    out.U32(0xFFFFFFFF);  // quality: default
    out.U32(AviBlockBytes(audio));
    out.Zeros(8);  // frame rectangle
    out.Close(at);
}
