// SPDX-License-Identifier: BSD-2-Clause
#include <qf25.h>

#include "codec/CodecInstance.h"
#include "driver/DriverInstance.h"
#include "driver/EntryPoint.h"
#include "driver/Formats.h"
#include "driver/Frames.h"
#include "driver/HostSettings.h"
#include "driver/Processor.h"
#include "driver/Trace.h"
#include "platform/Vfw.h"

namespace {

// Driver messages answer 1 for success and 0 for refusal.
constexpr LRESULT DRIVER_OK = 1;
constexpr LRESULT DRIVER_REFUSED = 0;

constexpr char SSE2_REQUIRED_TEXT[] = "This codec Requires SSE2.";
constexpr char SSE2_REQUIRED_CAPTION[] = "Error";

template <typename T>
T* Pointer(LPARAM value)
{
    return reinterpret_cast<T*>(value);
}

// The identifier as the trace shows it: its low 32 bits.
unsigned TraceId(DWORD_PTR id)
{
    return unsigned(id);
}

LRESULT Load()
{
    if (!HasUsableSse2()) {
        MessageBoxA(nullptr, SSE2_REQUIRED_TEXT, SSE2_REQUIRED_CAPTION, MB_ICONERROR);
        return DRIVER_REFUSED;
    }
    Trace("DRV_LOAD");
    return DRIVER_OK;
}

// Hosts open every installed driver to list them, and the compression
// manager opens one session instance without parameters.
LRESULT Open(ICOPEN* parameters)
{
    if (parameters) {
        parameters->dwError = ICERR_OK;
        if (parameters->fccType != ICTYPE_VIDEO)
            return DRIVER_REFUSED;
    }
    DriverInstance* instance = OpenDriverInstance();
    if (!instance)
        return DRIVER_REFUSED;
    const auto id = reinterpret_cast<DWORD_PTR>(instance);
    Trace("DRV_OPEN 0x%8.8x", TraceId(id));
    return LRESULT(id);
}

// A size below the block's means the host's buffer cannot take it; 0 is
// taken as a host that did not say.
LRESULT GetInfo(ICINFO* info, LPARAM size)
{
    Trace("ICM_GETINFO");
    if (!info || (size != 0 && size < LPARAM(sizeof(ICINFO))))
        return 0;
    FillInfo(info);
    return sizeof(ICINFO);
}

LRESULT QualityMessage(DriverInstance* instance, UINT message, LPARAM lParam1)
{
    auto* value = Pointer<int32_t>(lParam1);
    if (!value)
        return ICERR_BADPARAM;
    if (message == ICM_GETQUALITY)
        *value = HostQualityOf(instance->codec->quality);
    else
        SetQuality(instance->codec, QualityFromHost(*value));
    return ICERR_OK;
}

LRESULT CodingMessage(DriverInstance* instance, DWORD_PTR id, UINT message, LPARAM lParam1, LPARAM lParam2)
{
    const auto* input = Pointer<const BITMAPINFOHEADER>(lParam1);
    switch (message) {
    case ICM_COMPRESS_GET_FORMAT:
        return CompressGetFormat(input, Pointer<BITMAPINFOHEADER>(lParam2), instance);
    case ICM_COMPRESS_QUERY:
        return CompressQuery(input, instance);
    case ICM_COMPRESS_BEGIN:
        Trace("ICM_COMPRESS_BEGIN 0x%8.8x", TraceId(id));
        return CompressBegin(input, instance);
    case ICM_COMPRESS:
        return CompressFrame(Pointer<ICCOMPRESS>(lParam1), instance);
    case ICM_DECOMPRESS_QUERY:
        Trace("ICM_DECOMPRESS_QUERY");
        return DecompressQuery(input, Pointer<const BITMAPINFOHEADER>(lParam2), instance);
    case ICM_DECOMPRESS_BEGIN:
        Trace("ICM_DECOMPRESS_BEGIN");
        return DecompressBegin(input, Pointer<const BITMAPINFOHEADER>(lParam2), instance);
    default:
        return DecompressFrame(Pointer<const ICDECOMPRESS>(lParam1), instance);
    }
}

// Messages that need no instance.
LRESULT DriverMessage(DWORD_PTR id, HDRVR driver, UINT message, LPARAM lParam1, LPARAM lParam2)
{
    switch (message) {
    case DRV_LOAD:
        return Load();
    case DRV_ENABLE:
        Trace("DRV_ENABLE");
        return DRIVER_OK;
    case DRV_OPEN:
        return Open(Pointer<ICOPEN>(lParam2));
    case DRV_CLOSE:
        Trace("DRV_CLOSE 0x%8.8x", TraceId(id));
        CloseDriverInstance(reinterpret_cast<DriverInstance*>(id));
        return DRIVER_OK;
    case DRV_DISABLE:
        Trace("DRV_DISABLE");
        return DRIVER_OK;
    case DRV_FREE:
        Trace("DRV_FREE");
        return DRIVER_OK;
    case DRV_CONFIGURE:
        Trace("DRV_CONFIGURE");
        return DRIVER_REFUSED;
    case DRV_QUERYCONFIGURE:
        Trace("DRV_QUERYCONFIGURE");
        return DRIVER_REFUSED;
    case DRV_INSTALL:
        Trace("DRV_INSTALL");
        return DRIVER_OK;
    case DRV_REMOVE:
        Trace("DRV_REMOVE");
        return DRIVER_OK;
    case ICM_COMPRESS_GET_SIZE: {
        // The compressed format has the input's geometry; some hosts ask
        // before they have one.
        Trace("ICM_COMPRESS_GET_SIZE");
        const auto* output = Pointer<const BITMAPINFOHEADER>(lParam2);
        return CompressGetSize(output ? output : Pointer<const BITMAPINFOHEADER>(lParam1));
    }
    case ICM_COMPRESS_END:
        Trace("ICM_COMPRESS_END 0x%8.8x", TraceId(id));
        return ICERR_OK;
    case ICM_DECOMPRESS_GET_FORMAT:
        Trace("ICM_DECOMPRESS_GET_FORMAT");
        return DecompressGetFormat(Pointer<const BITMAPINFOHEADER>(lParam1), Pointer<BITMAPINFOHEADER>(lParam2));
    case ICM_DECOMPRESS_END:
        Trace("ICM_DECOMPRESS_END");
        return ICERR_OK;
    case ICM_DECOMPRESS_SET_PALETTE:
    case ICM_DECOMPRESS_GET_PALETTE:
    case ICM_DECOMPRESSEX_BEGIN:
    case ICM_DECOMPRESSEX_QUERY:
    case ICM_DECOMPRESSEX:
    case ICM_DECOMPRESSEX_END:
        Trace("uMsg = 0x%x", message);
        return ICERR_UNSUPPORTED;
    case ICM_GETBUFFERSWANTED:
    case ICM_GETDEFAULTKEYFRAMERATE:
    case ICM_GETDEFAULTQUALITY:
        Trace("ICM_GETDEFAULTQUALITY/ICM_GETBUFFERSWANTED/ICM_GETDEFAULTKEYFRAMERATE");
        return ICERR_UNSUPPORTED;
    case ICM_COMPRESS_FRAMES_INFO:
        Trace("ICM_COMPRESS_FRAMES_INFO");
        return ICERR_OK;
    case ICM_GETSTATE:
        Trace("ICM_GETSTATE");
        return ICERR_OK;
    case ICM_SETSTATE:
        Trace("ICM_SETSTATE");
        return ICERR_OK;
    case ICM_GETINFO:
        return GetInfo(Pointer<ICINFO>(lParam1), lParam2);
    case ICM_CONFIGURE:
        Trace("ICM_CONFIGURE");
        return ICERR_OK;
    case ICM_ABOUT:
        Trace("ICM_ABOUT");
        return ICERR_OK;
    case ICM_SET:
        Trace("ICM_SET");
        return ICERR_OK;
    case ICM_GET:
        Trace("ICM_GET");
        return ICERR_OK;
    default:
        Trace("default: uMsg = 0x%x", message);
        return message >= DRV_USER ? ICERR_UNSUPPORTED : DefDriverProc(id, driver, message, lParam1, lParam2);
    }
}

}  // namespace

// Messages that work on an instance are refused, never followed, when they
// come with identifier 0: format and frame messages as a bad format, the
// quality messages as unsupported.
extern "C" QF25_ENTRY intptr_t QF25_CALL DriverProc(uintptr_t driverId, void* driverHandle, uint32_t message,
                                                  intptr_t lParam1, intptr_t lParam2)
{
    auto* instance = reinterpret_cast<DriverInstance*>(driverId);
    switch (message) {
    case ICM_COMPRESS_GET_FORMAT:
    case ICM_COMPRESS_QUERY:
    case ICM_COMPRESS_BEGIN:
    case ICM_COMPRESS:
    case ICM_DECOMPRESS_QUERY:
    case ICM_DECOMPRESS_BEGIN:
    case ICM_DECOMPRESS:
        return instance ? CodingMessage(instance, driverId, message, lParam1, lParam2) : ICERR_BADFORMAT;
    case ICM_GETQUALITY:
    case ICM_SETQUALITY:
        return instance ? QualityMessage(instance, message, lParam1) : ICERR_UNSUPPORTED;
    default:
        return DriverMessage(driverId, static_cast<HDRVR>(driverHandle), message, lParam1, lParam2);
    }
}
