// SPDX-License-Identifier: BSD-2-Clause
/*****************************************************************************
 * Module.h: the QF25 decoder and encoder that Module.cpp describes to VLC
 *****************************************************************************/
#pragma once

#include <vlc_common.h>

#define QF25_ENC_CFG_PREFIX "sout-qf25-"

int  DecoderOpen(vlc_object_t *);
void DecoderClose(vlc_object_t *);
int  EncoderOpen(vlc_object_t *);
void EncoderClose(vlc_object_t *);
