// SPDX-License-Identifier: BSD-2-Clause
// The raw sound qf25avisink takes beside the pictures, as GStreamer
// describes it, and the AVI sound stream it becomes.
#pragma once

#include "AviSound.h"

#include <gst/gst.h>

#define QF25_AVI_SOUND_CAPS                                                                              \
    "audio/x-raw, format = (string) { S16LE, S24LE, S32LE, U8, F32LE, F64LE }, layout = (string) interleaved, " \
    "rate = (int) [ 1, 1000000 ], channels = (int) [ 1, 64 ]"

// False for caps the AVI writer does not take.
bool AviAudioOfCaps(GstCaps* caps, AviAudioInfo& audio);
