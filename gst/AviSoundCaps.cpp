// SPDX-License-Identifier: BSD-2-Clause
#include "AviSoundCaps.h"

#include <gst/audio/audio.h>

namespace {

struct SpeakerBit {
    GstAudioChannelPosition position;
    uint32_t bit;  // WAVE's
};

// The positions whose order GStreamer and WAVE agree on; with any other, the
// speakers are left unnamed rather than named in the wrong order.
const SpeakerBit SPEAKERS[] = {
    {GST_AUDIO_CHANNEL_POSITION_MONO, 0x4},
    {GST_AUDIO_CHANNEL_POSITION_FRONT_LEFT, 0x1},
    {GST_AUDIO_CHANNEL_POSITION_FRONT_RIGHT, 0x2},
    {GST_AUDIO_CHANNEL_POSITION_FRONT_CENTER, 0x4},
    {GST_AUDIO_CHANNEL_POSITION_LFE1, 0x8},
    {GST_AUDIO_CHANNEL_POSITION_REAR_LEFT, 0x10},
    {GST_AUDIO_CHANNEL_POSITION_REAR_RIGHT, 0x20},
    {GST_AUDIO_CHANNEL_POSITION_FRONT_LEFT_OF_CENTER, 0x40},
    {GST_AUDIO_CHANNEL_POSITION_FRONT_RIGHT_OF_CENTER, 0x80},
    {GST_AUDIO_CHANNEL_POSITION_REAR_CENTER, 0x100},
    {GST_AUDIO_CHANNEL_POSITION_SIDE_LEFT, 0x200},
    {GST_AUDIO_CHANNEL_POSITION_SIDE_RIGHT, 0x400},
};

uint32_t ChannelMask(const GstAudioInfo& info)
{
    if (info.flags & GST_AUDIO_FLAG_UNPOSITIONED)
        return 0;
    uint32_t mask = 0;
    for (int channel = 0; channel < info.channels; ++channel) {
        uint32_t bit = 0;
        for (const SpeakerBit& speaker : SPEAKERS) {
            if (speaker.position == info.position[channel])
                bit = speaker.bit;
        }
        if (bit == 0 || (mask & bit) != 0)
            return 0;
        mask |= bit;
    }
    return mask;
}

}  // namespace

bool AviAudioOfCaps(GstCaps* caps, AviAudioInfo& audio)
{
    GstAudioInfo info;
    if (!gst_audio_info_from_caps(&info, caps) || info.layout != GST_AUDIO_LAYOUT_INTERLEAVED ||
        GST_AUDIO_INFO_ENDIANNESS(&info) != G_LITTLE_ENDIAN)
        return false;
    audio.channels = info.channels;
    audio.sampleRate = info.rate;
    audio.bitsPerSample = GST_AUDIO_INFO_WIDTH(&info);
    audio.isFloat = GST_AUDIO_INFO_IS_FLOAT(&info);
    audio.channelMask = ChannelMask(info);
    // 8-bit sound in WAVE is unsigned, anything wider signed.
    const bool signedness = GST_AUDIO_INFO_IS_SIGNED(&info);
    return IsAviAudioFormat(audio) && (audio.isFloat || signedness == (audio.bitsPerSample > 8));
}
