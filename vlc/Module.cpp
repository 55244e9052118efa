// SPDX-License-Identifier: BSD-2-Clause
/*****************************************************************************
 * Module.cpp: the QF25 module for VLC 3.0, a video decoder and encoder
 *****************************************************************************
 * QF25 reaches VLC from its AVI and Matroska demuxers with the FourCC QF25;
 * the picture size comes from the container, since frames carry none.
 *****************************************************************************/
#include "Module.h"

#include <qf25.h>
#include <vlc_plugin.h>

#define QUALITY_TEXT "Quality"
#define QUALITY_LONGTEXT "Coding quality, from 50 (smallest frames) to 99 (best pictures)."

vlc_module_begin()
    set_shortname("QF25")
    set_description("QF25 video decoder")
    set_category(CAT_INPUT)
    set_subcategory(SUBCAT_INPUT_VCODEC)
    set_capability("video decoder", 100)
    set_callbacks(DecoderOpen, DecoderClose)

    add_submodule()
    set_description("QF25 video encoder")
    set_capability("encoder", 100)
    set_callbacks(EncoderOpen, EncoderClose)
    set_section("Encoding", NULL)
    add_integer_with_range(QF25_ENC_CFG_PREFIX "quality", QF25_DEFAULT_QUALITY, QF25_MIN_QUALITY,
                           QF25_MAX_QUALITY, QUALITY_TEXT, QUALITY_LONGTEXT, false)
vlc_module_end()
