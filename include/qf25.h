// SPDX-License-Identifier: BSD-2-Clause
/*
 * qf25.h - the QF25 codec's public interface.
 *
 * QF25 is an intra-only, field-based DCT codec for interlaced 4:2:2 video.
 * Every frame is two fields (field 0: picture lines 0, 2, 4, ... counted from
 * the top; field 1: lines 1, 3, 5, ...), each coded as four slices. Every
 * frame is a key frame. The library is used in two ways:
 *
 *  - as a Video for Windows installable compressor (type "vidc", handler
 *    "qf25") through DriverProc, which the system's compression manager
 *    calls; applications use the manager's ICOpen, ICCompress, ... and never
 *    call DriverProc themselves;
 *  - through the QFC_ field functions, with which a host that keeps its own
 *    buffers codes or decodes one field per call.
 *
 * Uncompressed pictures
 *   Described by a 40-byte BITMAPINFOHEADER (see QF25_BITMAP_HEADER_BYTES).
 *   Three layouts are taken:
 *     UYVY   biCompression 'UYVY', bytes U Y0 V Y1, 2 bytes per pixel;
 *     BGR24  biCompression 0 (BI_RGB) or 'DIB ', biBitCount 24, bytes B G R;
 *     BGR32  biCompression 0 or 'DIB ', biBitCount 32, bytes B G R and a
 *            fourth byte that is ignored on coding and written as 0.
 *   Lines follow each other without padding: a line is width x 2, 3 or 4
 *   bytes. Only whole 16-pixel macroblocks are coded: the pixels right of the
 *   last multiple of 16 are neither coded nor written on decoding. When the
 *   height is odd, the last line is not coded either.
 *
 * Compressed frames
 *   Byte 0 is the quality (1..99), bytes 1..3 the little-endian length of
 *   field 0; field 1 follows field 0 in the same buffer. The frame carries no
 *   geometry: width, height and layout travel in the bitmap headers.
 *
 * Calling convention and threads
 *   Every function uses the platform's standard calling convention (stdcall
 *   on 32-bit Windows). Calls for one handle must not overlap; different
 *   handles may be used from different threads at once. Nothing here raises
 *   an exception or keeps a reference to a caller's buffer after it returns.
 *
 * Processor
 *   The Windows driver refuses to load on a processor without SSE2. The
 *   field functions do not check; a host calling them directly on 32-bit x86
 *   must itself be sure that SSE2 is available.
 */
#ifndef QF25_H
#define QF25_H

#include <stdint.h>

#if defined(_WIN32)
#define QF25_CALL __stdcall
#else
#define QF25_CALL
#endif

#if defined(QF25_BUILDING_LIBRARY)
#if defined(_WIN32)
#define QF25_API
#else
#define QF25_API __attribute__((visibility("default")))
#endif
#else
#define QF25_API
#endif

/* Size of the BITMAPINFOHEADER every `format` argument points to. */
#define QF25_BITMAP_HEADER_BYTES 40

/*
 * The compressed stream's FourCC, 'QF25', as the little-endian 32-bit value
 * of biCompression in its bitmap header and of an AVI stream's handler.
 */
#define QF25_FOURCC 0x35324651u

/* Coding quality: QFC_SetQuality takes 50..99; new handles code at 95. */
#define QF25_MIN_QUALITY 50
#define QF25_MAX_QUALITY 99
#define QF25_DEFAULT_QUALITY 95

/* Only whole macroblocks of this many pixels across are coded. */
#define QF25_WIDTH_MULTIPLE 16

/* Instruction-set extensions, as QFC_SetCpuMask takes them. */
#define QF25_CPU_MMX 0x1u
#define QF25_CPU_SSE 0x2u
#define QF25_CPU_SSE2 0x4u
#define QF25_CPU_3DNOW 0x8u
#define QF25_CPU_AVX2 0x10u /* with BMI1, BMI2 and the OS saving YMM state */
#define QF25_CPU_ALL 0xFFFFFFFFu

/*
 * Results. The negative ones are the Video for Windows ICERR_ codes of the
 * same meaning, so that DriverProc's results compare with either name.
 */
#define QF25_OK 0
#define QF25_FIELD_DAMAGED 1         /* QFC_DecompressFieldSized: decoded, with damage */
#define QF25_ERROR_UNSUPPORTED (-1)  /* a message the driver does not handle */
#define QF25_ERROR_BADFORMAT (-2)    /* a format or frame refused */
#define QF25_ERROR_BADPARAM (-6)     /* a missing or out-of-range argument */

#ifdef __cplusplus
extern "C" {
#endif

/*
 * DriverProc - the installable-driver entry point.
 *
 * Called by the video compression manager with the driver messages (DRV_*)
 * and the compressor messages (ICM_*). `driverId` is 0 before an open and
 * afterwards the value DRV_OPEN returned; `lParam1` and `lParam2` are the
 * message's parameters. The result follows the platform: 1 or 0 for driver
 * messages, ICERR_OK (0), ICERR_UNSUPPORTED (-1) or ICERR_BADFORMAT (-2) for
 * compressor messages, a byte count for the size messages.
 *
 * Notes for hosts:
 *  - ICM_GETINFO may be sent with driverId 0; it needs a buffer of at least
 *    568 bytes (lParam2 0 or the buffer size). szDriver is not written.
 *  - ICM_COMPRESS_GET_SIZE announces width x |height| x 6 bytes; allocate
 *    that much. A frame that would not fit is refused, never written past it.
 *  - Compress and decompress frames are refused unless the last
 *    ICM_COMPRESS_BEGIN or ICM_DECOMPRESS_BEGIN accepted their pictures.
 *  - ICM_DECOMPRESS reads no more than the input header's biSizeImage when
 *    it is set (refusing a frame whose lengths point past it), and otherwise
 *    no more than the largest frame of that geometry.
 *  - Quality is on the host's 0..10000 scale: ICM_SETQUALITY maps it to the
 *    codec's 50..99 (value / 200 + 50, clamped); dwQuality of individual
 *    ICCOMPRESS requests is ignored. A decoded frame sets the instance's
 *    quality to its own.
 *  - ICM_GETQUALITY and ICM_SETQUALITY without a value (lParam1 0) return
 *    ICERR_BADPARAM (-6) and change nothing.
 *
 * On 64-bit builds the parameters and the result are pointer-sized, so that
 * pointers pass through unchanged; on 32-bit Windows they are 32 bits.
 */
QF25_API intptr_t QF25_CALL DriverProc(uintptr_t driverId, void* driverHandle, uint32_t message,
                                        intptr_t lParam1, intptr_t lParam2);

/*
 * Field functions.
 *
 * Call order: one Begin; then any number of field calls, for each frame
 * field 0 first and then field 1, both into (or from) the same frame
 * buffer; then one End. The handle belongs to the caller from Begin until
 * End, which frees it; it must not be used afterwards.
 *
 * A field is given by the address of its top line (`firstLine`) and the
 * signed distance in bytes from one of its lines to the next one below
 * (`stride`). For a contiguous top-down picture with L bytes per line:
 * field 0 starts at the picture, field 1 at picture + L, and the stride is
 * 2 x L. For a bottom-up picture of H lines: field 0 starts at
 * picture + (H - 1) x L, field 1 at picture + (H - 2) x L, and the stride is
 * -2 x L. The lines the call touches must all lie in the caller's buffer.
 */

/*
 * Creates a compressor for frames described by `format` (the whole frame:
 * width, height, layout). It codes at quality 95 unless QFC_SetQuality says
 * otherwise. Returns null when the format has no positive width, a height of
 * 0, or a size (width x |height| x 6) beyond 32 bits, or when memory
 * cannot be had. The header is read during the call only.
 */
QF25_API void* QF25_CALL QFC_CompressFieldBegin(const void* format);

/*
 * Codes one field into `frame`, which must hold width x |height| x 6 bytes
 * (the frame size the driver announces). Returns, for field 0, the bytes of
 * field 0; for field 1 (any non-zero fieldIndex), the length of the whole
 * frame. Returns 0 when the field does not fit; the frame is then not
 * usable. Pictures only a few lines high can need more than 6 bytes per
 * pixel: use QFC_CompressFieldSized with QFC_MaxFrameSize bytes for them.
 */
QF25_API uint32_t QF25_CALL QFC_CompressField(void* handle, uint8_t* frame, const uint8_t* firstLine,
                                               int32_t stride, int32_t fieldIndex);

/* Frees the compressor. Null is allowed. Returns 0. */
QF25_API int32_t QF25_CALL QFC_CompressFieldEnd(void* handle);

/*
 * Creates a decompressor writing pictures described by `format` (the whole
 * destination frame). Returns null on the same conditions as
 * QFC_CompressFieldBegin.
 */
QF25_API void* QF25_CALL QFC_DecompressFieldBegin(const void* format);

/*
 * Decodes one field of `frame` (the start of the whole compressed frame,
 * for both fields) into the picture. Trusts the lengths inside the frame up
 * to QFC_MaxFrameSize bytes for the geometry, and decodes nothing when they
 * point further. Always returns 0; QFC_DecompressFieldSized reports what
 * happened.
 */
QF25_API int32_t QF25_CALL QFC_DecompressField(void* handle, uint8_t* firstLine, const uint8_t* frame,
                                                int32_t stride, int32_t fieldIndex);

/* Frees the decompressor. Null is allowed. Returns 0. */
QF25_API int32_t QF25_CALL QFC_DecompressFieldEnd(void* handle);

/*
 * Additions for hosts that know their buffer sizes.
 */

/*
 * Sets the coding quality, 50 (smallest frames) to 99 (best pictures).
 * Returns QF25_OK, or QF25_ERROR_BADPARAM (and changes nothing) for a null
 * handle or a quality outside 50..99.
 */
QF25_API int32_t QF25_CALL QFC_SetQuality(void* handle, int32_t quality);

/*
 * The largest frame the codec can write for a picture of this size, headers
 * included: enough for any picture and quality. 0 when the geometry is
 * refused (see QFC_CompressFieldBegin). The height's sign is ignored.
 */
QF25_API uint32_t QF25_CALL QFC_MaxFrameSize(int32_t width, int32_t height);

/*
 * As QFC_CompressField, with `capacity`, the bytes `frame` holds from its
 * start (the same value for both fields). Returns 0 also when the handle's
 * layout is none of UYVY, BGR24 and BGR32.
 */
QF25_API uint32_t QF25_CALL QFC_CompressFieldSized(void* handle, uint8_t* frame, uint32_t capacity,
                                                    const uint8_t* firstLine, int32_t stride,
                                                    int32_t fieldIndex);

/*
 * As QFC_DecompressField, reading no more than `frameSize` bytes of the
 * frame. Returns QF25_OK when the field decoded cleanly; QF25_FIELD_DAMAGED
 * when it was decoded but some of its data was missing or damaged: a
 * slice's macroblocks did not end in the last byte its length gives, ending
 * before it or running past it (its macroblocks hold whatever the damaged
 * data gave); QF25_ERROR_BADFORMAT
 * when nothing was decoded because
 * the frame's lengths are impossible or reach past `frameSize`, the handle's
 * layout is none of UYVY, BGR24 and BGR32, or |stride| is shorter than the
 * bytes of a line's whole macroblocks (a field's lines must not overlap).
 */
QF25_API int32_t QF25_CALL QFC_DecompressFieldSized(void* handle, uint8_t* firstLine, const uint8_t* frame,
                                                     uint32_t frameSize, int32_t stride, int32_t fieldIndex);

/*
 * Restricts the instruction-set extensions used by handles created
 * afterwards, for tests and comparisons: a mask of QF25_CPU_ bits; 0 forces
 * the plain code, QF25_CPU_ALL restores everything. The output bytes do not
 * depend on it. Process-wide.
 */
QF25_API void QF25_CALL QFC_SetCpuMask(uint32_t mask);

/*
 * The kernels that handles created now would use, as a name for people:
 * "AVX2", "SSE2" or "plain" (the portable C++ code). It follows the
 * processor, the build and QFC_SetCpuMask. The string is static.
 */
QF25_API const char* QF25_CALL QFC_KernelTier(void);

/*
 * Chooses the threads that decode the four slices of each field: 4 (the
 * default) shares them between the calling thread and the handle's own
 * worker threads, as many as there are other processors the process may
 * run on (none when it is held to one), started by the first field that
 * needs them, and returns once all are decoded (on the calling thread alone
 * while a worker thread cannot be had); 1 decodes them one after another on
 * the calling thread, which suits hosts that already run one handle per core.
 * The decoded pictures are the same either way. Returns QF25_OK, or QF25_ERROR_BADPARAM (and changes nothing) for
 * a null handle or any other count.
 */
QF25_API int32_t QF25_CALL QFC_SetSliceThreads(void* handle, int32_t threads);

#ifdef __cplusplus
}
#endif

#endif /* QF25_H */
