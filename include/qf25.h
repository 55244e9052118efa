/*
 * qf25.h - the QF25 codec's public interface.
 *
 * QF25 is an intra-only, field-based DCT codec for interlaced 4:2:2 video.
 * Every frame is two fields (even lines, odd lines), each coded as four
 * slices. The library is used in two ways:
 *
 *  - as a Video for Windows installable compressor through DriverProc;
 *  - through the QFC_ field functions, with which a host that keeps its own
 *    buffers codes or decodes one field per call.
 *
 * (Documentation of each call: see below.)
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

#ifdef __cplusplus
extern "C" {
#endif

/* Installable-driver entry point: DRV_* and ICM_* messages. */
QF25_API intptr_t QF25_CALL DriverProc(uintptr_t driverId, void* driverHandle, uint32_t message,
                                        intptr_t lParam1, intptr_t lParam2);

/* Field functions. `format` points to a 40-byte BITMAPINFOHEADER. */
QF25_API void* QF25_CALL QFC_CompressFieldBegin(const void* format);
QF25_API uint32_t QF25_CALL QFC_CompressField(void* handle, uint8_t* frame, const uint8_t* firstLine,
                                               int32_t stride, int32_t fieldIndex);
QF25_API int32_t QF25_CALL QFC_CompressFieldEnd(void* handle);
QF25_API void* QF25_CALL QFC_DecompressFieldBegin(const void* format);
QF25_API int32_t QF25_CALL QFC_DecompressField(void* handle, uint8_t* firstLine, const uint8_t* frame,
                                                int32_t stride, int32_t fieldIndex);
QF25_API int32_t QF25_CALL QFC_DecompressFieldEnd(void* handle);

/* Additions for hosts that know their buffer sizes. */
QF25_API int32_t QF25_CALL QFC_SetQuality(void* handle, int32_t quality);
QF25_API uint32_t QF25_CALL QFC_MaxFrameSize(int32_t width, int32_t height);
QF25_API uint32_t QF25_CALL QFC_CompressFieldSized(void* handle, uint8_t* frame, uint32_t capacity,
                                                    const uint8_t* firstLine, int32_t stride,
                                                    int32_t fieldIndex);
QF25_API int32_t QF25_CALL QFC_DecompressFieldSized(void* handle, uint8_t* firstLine, const uint8_t* frame,
                                                     uint32_t frameSize, int32_t stride, int32_t fieldIndex);
QF25_API void QF25_CALL QFC_SetCpuMask(uint32_t mask);

#ifdef __cplusplus
}
#endif

#endif /* QF25_H */
