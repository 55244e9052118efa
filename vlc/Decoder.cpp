// SPDX-License-Identifier: BSD-2-Clause
/*****************************************************************************
 * Decoder.cpp: QF25 frames to interlaced planar 4:2:2 pictures
 *****************************************************************************
 * Every frame is two fields, top first, decoded by the codec's slice workers
 * into packed UYVY and then spread over the planes of an I422 picture: VLC's
 * deinterlacer refuses its yadif, x, phosphor and ivtc modes for packed
 * pictures, and its software conversion to RGB is cheaper from planar ones,
 * this extra pass included. A damaged frame is named in the log with what is
 * wrong with it and replaced by the last good picture (black before the first
 * one); frames never depend on each other, so the next one decodes as if
 * nothing had happened. Timestamps pass through as the demuxer set them.
 *****************************************************************************/
#include "Module.h"

#include "CheckedDecode.h"
#include "ToolError.h"

#include <vlc_codec.h>

#include <cmath>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

struct decoder_sys_t
{
    CodecSession         session;
    std::vector<uint8_t> uyvy;          /* the decoded frame, lines of whole pixel pairs */
    size_t               i_uyvy_pitch;
    picture_t           *p_last_good;   /* held, to stand in for damaged frames */
    std::string          last_good_name;
};

static mtime_t BlockDate(const block_t *p_block)
{
    return p_block->i_pts > VLC_TS_INVALID ? p_block->i_pts : p_block->i_dts;
}

/* "frame N" from the timestamp and the stream's rate, as the qf25 command
 * counts frames; the time itself where the stream gives no rate. */
static std::string FrameName(const decoder_t *p_dec, mtime_t i_date)
{
    if (i_date <= VLC_TS_INVALID)
        return "a frame without timestamp";
    const double f_seconds = (double)(i_date - VLC_TS_0) / CLOCK_FREQ;
    const video_format_t *p_fmt = &p_dec->fmt_in.video;
    if (p_fmt->i_frame_rate != 0 && p_fmt->i_frame_rate_base != 0)
    {
        const double f_number = std::round(f_seconds * p_fmt->i_frame_rate / p_fmt->i_frame_rate_base);
        if (f_number < 1e15) /* whatever the stream's timestamps, a number that fits */
            return "frame " + std::to_string((long long)f_number);
    }
    char psz_time[48];
    snprintf(psz_time, sizeof(psz_time), "the frame at %.3f s", f_seconds);
    return psz_time;
}

static void ForgetLastGood(decoder_sys_t *p_sys)
{
    if (p_sys->p_last_good != NULL)
        picture_Release(p_sys->p_last_good);
    p_sys->p_last_good = NULL;
}

/* Spreads the packed frame over the picture's Y, U and V planes. */
static void ToPlanes(const decoder_sys_t *p_sys, picture_t *p_pic)
{
    const int i_pairs = (p_sys->session.width + 1) / 2;
    for (int y = 0; y < p_sys->session.height; y++)
    {
        const uint8_t *p_src = &p_sys->uyvy[y * p_sys->i_uyvy_pitch];
        uint8_t *p_y = &p_pic->p[0].p_pixels[y * p_pic->p[0].i_pitch];
        uint8_t *p_u = &p_pic->p[1].p_pixels[y * p_pic->p[1].i_pitch];
        uint8_t *p_v = &p_pic->p[2].p_pixels[y * p_pic->p[2].i_pitch];
        for (int x = 0; x < i_pairs; x++)
        {
            p_u[x] = p_src[4 * x];
            p_y[2 * x] = p_src[4 * x + 1];
            p_v[x] = p_src[4 * x + 2];
            p_y[2 * x + 1] = p_src[4 * x + 3];
        }
    }
}

/* Decodes the block into the picture, or fills the picture with the last
 * good one when the block is damaged or empty (an empty AVI chunk repeats the
 * frame before it). */
static void DecodeInto(decoder_t *p_dec, const block_t *p_block, picture_t *p_pic)
{
    decoder_sys_t *p_sys = p_dec->p_sys;
    const std::string name = FrameName(p_dec, BlockDate(p_block));
    std::string problem;
    DecodeOutcome outcome = DecodeOutcome::REFUSED;
    if (p_block->i_buffer > UINT32_MAX)
        problem = "it is larger than any frame";
    else if (p_block->i_buffer > 0)
        outcome = DecodeCheckedFrame(p_sys->session, p_block->p_buffer, (uint32_t)p_block->i_buffer,
                                     p_sys->uyvy.data(), p_sys->i_uyvy_pitch, problem);
    if (outcome == DecodeOutcome::GOOD)
    {
        ToPlanes(p_sys, p_pic);
        ForgetLastGood(p_sys);
        p_sys->p_last_good = picture_Hold(p_pic);
        p_sys->last_good_name = name;
        return;
    }
    if (p_block->i_buffer > 0)
        msg_Warn(p_dec, "%s is damaged (%s); replaced by %s", name.c_str(), problem.c_str(),
                 p_sys->p_last_good != NULL ? p_sys->last_good_name.c_str() : "black");
    if (p_sys->p_last_good != NULL)
    {
        picture_CopyPixels(p_pic, p_sys->p_last_good);
        return;
    }
    FillBlack(*p_sys->session.layout, p_sys->session.width, p_sys->session.height, p_sys->uyvy.data(),
              p_sys->i_uyvy_pitch);
    ToPlanes(p_sys, p_pic);
}

static int DecodeVideo(decoder_t *p_dec, block_t *p_block)
{
    if (p_block == NULL) /* draining: no frame is ever held back */
        return VLCDEC_SUCCESS;
    picture_t *p_pic = NULL;
    if (decoder_UpdateVideoFormat(p_dec) == 0)
        p_pic = decoder_NewPicture(p_dec);
    if (p_pic == NULL)
    {
        block_Release(p_block);
        return VLCDEC_SUCCESS;
    }
    try
    {
        DecodeInto(p_dec, p_block, p_pic);
    }
    catch (const std::bad_alloc &)
    {
        picture_Release(p_pic);
        block_Release(p_block);
        return VLCDEC_ECRITICAL;
    }
    p_pic->date = BlockDate(p_block);
    p_pic->b_progressive = false;
    p_pic->b_top_field_first = true;
    p_pic->i_nb_fields = 2;
    block_Release(p_block);
    decoder_QueueVideo(p_dec, p_pic);
    return VLCDEC_SUCCESS;
}

/* After a seek, the picture before it must not stand in for frames after it. */
static void Flush(decoder_t *p_dec)
{
    ForgetLastGood(p_dec->p_sys);
}

int DecoderOpen(vlc_object_t *p_this)
{
    decoder_t *p_dec = (decoder_t *)p_this;
    if (p_dec->fmt_in.i_codec != FOURCC_QF25)
        return VLC_EGENERIC;

    /* A top-down bitmap header has a negative height, which the AVI demuxer
     * passes on as a huge unsigned one. */
    const video_format_t *p_in = &p_dec->fmt_in.video;
    const int i_width = (int32_t)p_in->i_width;
    const int32_t i_stated_height = (int32_t)p_in->i_height;
    const int i_height = i_stated_height == INT32_MIN ? 0 : std::abs(i_stated_height);
    if (!IsPlausiblePictureSize(i_width, i_height))
    {
        msg_Err(p_dec, "the QF25 stream has the impossible picture size %dx%d", i_width, i_stated_height);
        return VLC_EGENERIC;
    }

    /* An odd width ends in half a pixel pair, whose V stays neutral. */
    const size_t i_pitch = LineBytes(PIXEL_LAYOUTS[0], i_width + i_width % 2);
    decoder_sys_t *p_sys;
    try
    {
        p_sys = new decoder_sys_t{OpenDecoder(PIXEL_LAYOUTS[0], i_width, i_height, SliceThreads::WORKERS),
                                  std::vector<uint8_t>(i_pitch * i_height), i_pitch, NULL, std::string()};
        FillBlack(PIXEL_LAYOUTS[0], i_width + i_width % 2, i_height, p_sys->uyvy.data());
    }
    catch (const ToolError &error)
    {
        msg_Err(p_dec, "%s", error.message.c_str());
        return VLC_EGENERIC;
    }
    catch (const std::bad_alloc &)
    {
        return VLC_ENOMEM;
    }
    p_dec->p_sys = p_sys;

    p_dec->fmt_out.i_codec = VLC_CODEC_I422;
    const bool b_sar = p_in->i_sar_num != 0 && p_in->i_sar_den != 0;
    video_format_Setup(&p_dec->fmt_out.video, VLC_CODEC_I422, i_width, i_height, i_width, i_height,
                       b_sar ? p_in->i_sar_num : 1, b_sar ? p_in->i_sar_den : 1);
    p_dec->fmt_out.video.i_frame_rate = p_in->i_frame_rate;
    p_dec->fmt_out.video.i_frame_rate_base = p_in->i_frame_rate_base;
    p_dec->pf_decode = DecodeVideo;
    p_dec->pf_flush = Flush;
    p_dec->i_extra_picture_buffers = 1; /* the last good picture */
    msg_Dbg(p_dec, "decoding %dx%d QF25 to I422 with the %s kernels", i_width, i_height, QFC_KernelTier());
    return VLC_SUCCESS;
}

void DecoderClose(vlc_object_t *p_this)
{
    decoder_t *p_dec = (decoder_t *)p_this;
    ForgetLastGood(p_dec->p_sys);
    delete p_dec->p_sys;
}
