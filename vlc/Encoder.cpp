// SPDX-License-Identifier: BSD-2-Clause
/*****************************************************************************
 * Encoder.cpp: UYVY pictures to QF25 frames, for VLC's transcoder
 *****************************************************************************
 * Every frame is a key frame coded as its two fields; VLC converts whatever
 * it decodes to UYVY first. Only widths that are multiples of 16 are taken,
 * since the codec leaves the columns past the last multiple uncoded.
 *****************************************************************************/
#include "Module.h"

#include "Codec.h"
#include "ToolError.h"

#include <vlc_codec.h>

#include <new>

struct encoder_sys_t
{
    CodecSession session;
    uint32_t     i_capacity; /* the largest frame of the geometry */
};

static const char *const ppsz_enc_options[] = {"quality", NULL};

static block_t *EncodeVideo(encoder_t *p_enc, picture_t *p_pic)
{
    if (p_pic == NULL) /* draining: no frame is ever held back */
        return NULL;
    encoder_sys_t *p_sys = p_enc->p_sys;
    const CodecSession &session = p_sys->session;
    if (p_pic->format.i_chroma != VLC_CODEC_UYVY || p_pic->p[0].i_lines < session.height ||
        (size_t)p_pic->p[0].i_pitch < LineBytes(*session.layout, session.width))
    {
        msg_Err(p_enc, "a picture that is not %dx%d UYVY was left out", session.width, session.height);
        return NULL;
    }
    block_t *p_block = block_Alloc(p_sys->i_capacity);
    if (p_block == NULL)
        return NULL;
    p_block->i_buffer = EncodePicture(p_sys->session, p_pic->p[0].p_pixels, p_block->p_buffer, p_sys->i_capacity,
                                      (size_t)p_pic->p[0].i_pitch);
    if (p_block->i_buffer == 0) /* an empty chunk would repeat the frame before */
    {
        msg_Err(p_enc, "a picture that the codec could not code was left out");
        block_Release(p_block);
        return NULL;
    }
    p_block->i_dts = p_block->i_pts = p_pic->date;
    p_block->i_flags |= BLOCK_FLAG_TYPE_I;
    return p_block;
}

int EncoderOpen(vlc_object_t *p_this)
{
    encoder_t *p_enc = (encoder_t *)p_this;
    if (p_enc->fmt_out.i_codec != FOURCC_QF25 && !p_enc->obj.force)
        return VLC_EGENERIC;
    config_ChainParse(p_enc, QF25_ENC_CFG_PREFIX, ppsz_enc_options, p_enc->p_cfg);
    const int i_quality = var_GetInteger(p_enc, QF25_ENC_CFG_PREFIX "quality");

    const video_format_t *p_in = &p_enc->fmt_in.video;
    const int i_width = p_in->i_visible_width != 0 ? p_in->i_visible_width : p_in->i_width;
    const int i_height = p_in->i_visible_height != 0 ? p_in->i_visible_height : p_in->i_height;
    if (i_width % WIDTH_MULTIPLE != 0)
    {
        msg_Err(p_enc, "QF25 codes widths that are multiples of %d, not %d: give the transcoder a width= "
                       "that is one", WIDTH_MULTIPLE, i_width);
        return VLC_EGENERIC;
    }

    encoder_sys_t *p_sys;
    try
    {
        p_sys = new encoder_sys_t{OpenEncoder(PIXEL_LAYOUTS[0], i_width, i_height, i_quality),
                                  MaxCodedBytes(i_width, i_height)};
    }
    catch (const ToolError &error)
    {
        msg_Err(p_enc, "%s", error.message.c_str());
        return VLC_EGENERIC;
    }
    catch (const std::bad_alloc &)
    {
        return VLC_ENOMEM;
    }
    p_enc->p_sys = p_sys;

    p_enc->fmt_in.i_codec = VLC_CODEC_UYVY;
    video_format_Setup(&p_enc->fmt_in.video, VLC_CODEC_UYVY, i_width, i_height, i_width, i_height,
                       p_in->i_sar_num, p_in->i_sar_den);
    p_enc->fmt_out.i_cat = VIDEO_ES;
    p_enc->fmt_out.i_codec = FOURCC_QF25;
    p_enc->fmt_out.video.i_width = p_enc->fmt_out.video.i_visible_width = i_width;
    p_enc->fmt_out.video.i_height = p_enc->fmt_out.video.i_visible_height = i_height;
    p_enc->pf_encode_video = EncodeVideo;
    msg_Dbg(p_enc, "coding %dx%d UYVY to QF25 at quality %d", i_width, i_height, i_quality);
    return VLC_SUCCESS;
}

void EncoderClose(vlc_object_t *p_this)
{
    delete ((encoder_t *)p_this)->p_sys;
}
