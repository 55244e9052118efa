// SPDX-License-Identifier: BSD-2-Clause
#include "support/HostCoding.h"

#include <algorithm>

#include "DriverTest.h"

BITMAPINFOHEADER FormatOf(const Picture& picture)
{
    const bool negative = !picture.bottomUp && picture.pixelFormat != PIXEL_FORMAT_UYVY;
    return HeaderOf(picture.pixelFormat, picture.width, negative ? -picture.height : picture.height);
}

FieldPlace FieldPlaceOf(const Picture& picture, int field)
{
    const auto line = ptrdiff_t(LineBytes(picture));
    if (picture.bottomUp && picture.pixelFormat != PIXEL_FORMAT_UYVY)
        return FieldPlace{(picture.height - 1 - field) * line, int32_t(-2 * line)};
    return FieldPlace{field * line, int32_t(2 * line)};
}

std::vector<uint8_t> CompressFields(void* handle, const Picture& picture, uint32_t capacity)
{
    std::vector<uint8_t> frame(capacity ? capacity : QFC_MaxFrameSize(picture.width, picture.height));
    uint32_t size = 0;
    for (int field = 0; field < 2; ++field) {
        const FieldPlace place = FieldPlaceOf(picture, field);
        size = QFC_CompressFieldSized(handle, frame.data(), uint32_t(frame.size()), picture.bytes.data() + place.offset,
                                      place.stride, field);
        if (size == 0)
            return {};
    }
    return std::vector<uint8_t>(frame.begin(), frame.begin() + size);
}

int32_t DecompressFields(void* handle, const std::vector<uint8_t>& frame, Picture* picture)
{
    const std::vector<uint8_t> exact(frame);
    int32_t worst = 0;
    for (int field = 0; field < 2; ++field) {
        const FieldPlace place = FieldPlaceOf(*picture, field);
        const int32_t result = QFC_DecompressFieldSized(handle, picture->bytes.data() + place.offset, exact.data(),
                                                        uint32_t(exact.size()), place.stride, field);
        worst = result < 0 || worst < 0 ? std::min(worst, result) : std::max(worst, result);
    }
    return worst;
}

std::vector<uint8_t> CompressMessages(uintptr_t id, const Picture& picture)
{
    BITMAPINFOHEADER input = FormatOf(picture);
    BITMAPINFOHEADER output = {};
    if (Send(id, ICM_COMPRESS_GET_FORMAT, &input, &output) != ICERR_OK ||
        Send(id, ICM_COMPRESS_BEGIN, &input, &output) != ICERR_OK)
        return {};
    std::vector<uint8_t> frame(size_t(Send(id, ICM_COMPRESS_GET_SIZE, &input, &output)));
    DWORD flags = 0;
    ICCOMPRESS request = {};
    request.lpbiOutput = &output;
    request.lpOutput = frame.data();
    request.lpbiInput = &input;
    request.lpInput = const_cast<uint8_t*>(picture.bytes.data());
    request.lpdwFlags = &flags;
    if (Send(id, ICM_COMPRESS, &request, reinterpret_cast<void*>(sizeof request)) != ICERR_OK)
        return {};
    return std::vector<uint8_t>(frame.begin(), frame.begin() + output.biSizeImage);
}

LRESULT DecompressMessages(uintptr_t id, const std::vector<uint8_t>& frame, Picture* picture)
{
    const std::vector<uint8_t> exact(frame);
    BITMAPINFOHEADER input = Header(picture->width, picture->height, FOURCC_QF25, 24);
    input.biSizeImage = uint32_t(exact.size());
    BITMAPINFOHEADER output = FormatOf(*picture);
    if (Send(id, ICM_DECOMPRESS_QUERY, &input, &output) != ICERR_OK ||
        Send(id, ICM_DECOMPRESS_BEGIN, &input, &output) != ICERR_OK)
        return ICERR_BADFORMAT;
    ICDECOMPRESS request = {};
    request.lpbiInput = &input;
    request.lpInput = const_cast<uint8_t*>(exact.data());
    request.lpbiOutput = &output;
    request.lpOutput = picture->bytes.data();
    return Send(id, ICM_DECOMPRESS, &request, reinterpret_cast<void*>(sizeof request));
}
