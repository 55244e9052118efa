// SPDX-License-Identifier: BSD-2-Clause
#include "support/FrameCoding.h"

#include <cmath>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "codec/FieldCoder.h"
#include "transform/QuantTables.h"

int BytesPerPixel(uint32_t pixelFormat)
{
    return pixelFormat == PIXEL_FORMAT_UYVY ? 2 : pixelFormat == PIXEL_FORMAT_BGR24 ? 3 : 4;
}

size_t LineBytes(const Picture& picture)
{
    return size_t(BytesPerPixel(picture.pixelFormat)) * picture.width;
}

InstancePtr MakeInstance(const Picture& picture, int quality)
{
    InstancePtr instance(CreateCodecInstance());
    if (!instance)
        throw std::runtime_error("instance construction failed");
    instance->width = picture.width;
    instance->height = picture.height;
    instance->pixelFormat = picture.pixelFormat;
    SetQuality(instance.get(), quality);
    return instance;
}

namespace {

// Top line of field 0 and the field stride, as the frame entry points choose them.
template <typename Byte>
void FieldLayout(const Picture& picture, Byte* base, Byte** top, ptrdiff_t* stride)
{
    const ptrdiff_t lineBytes = ptrdiff_t(LineBytes(picture));
    if (picture.bottomUp && picture.pixelFormat != PIXEL_FORMAT_UYVY) {
        *top = base + (picture.height - 1) * lineBytes;
        *stride = -2 * lineBytes;
    } else {
        *top = base;
        *stride = 2 * lineBytes;
    }
}

}  // namespace

std::vector<uint8_t> EncodeFrame(CodecInstance* instance, const Picture& picture, size_t capacity)
{
    if (capacity == 0)
        capacity = size_t(picture.width) * picture.height * 6;
    std::vector<uint8_t> frame(capacity);
    const uint8_t* top;
    ptrdiff_t stride;
    FieldLayout(picture, picture.bytes.data(), &top, &stride);
    const ptrdiff_t next = stride / 2;
    if (EncodeField(instance, frame.data(), uint32_t(capacity), top, stride, 0) == 0)
        return {};
    const uint32_t size = EncodeField(instance, frame.data(), uint32_t(capacity), top + next, stride, 1);
    frame.resize(size);
    return frame;
}

FieldStatus DecodeFrame(CodecInstance* instance, const std::vector<uint8_t>& frame, Picture* picture)
{
    uint8_t* top;
    ptrdiff_t stride;
    FieldLayout(*picture, picture->bytes.data(), &top, &stride);
    const ptrdiff_t next = stride / 2;
    const uint32_t size = uint32_t(frame.size());
    const FieldStatus first = DecodeField(instance, frame.data(), size, top, stride, 0);
    const FieldStatus second = DecodeField(instance, frame.data(), size, top + next, stride, 1);
    return first > second ? first : second;
}

std::vector<uint8_t> ReadTestFile(const std::string& relativePath)
{
    std::ifstream in(std::string(QF25_TEST_DATA) + "/" + relativePath, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read test data " + relativePath);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

Picture ReadVectorPicture(const std::string& name, uint32_t pixelFormat, int width, int height, bool bottomUp)
{
    return Picture{pixelFormat, width, height, bottomUp, ReadTestFile("vectors/" + name)};
}

uint64_t Fnv1a64(const std::vector<uint8_t>& bytes)
{
    uint64_t hash = 0xcbf29ce484222325ull;
    for (uint8_t b : bytes)
        hash = (hash ^ b) * 0x100000001b3ull;
    return hash;
}

double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, size_t first, size_t step)
{
    double sum = 0;
    size_t count = 0;
    for (size_t i = first; i < a.size() && i < b.size(); i += step, ++count) {
        const double d = double(a[i]) - double(b[i]);
        sum += d * d;
    }
    if (sum == 0)
        return INFINITY;
    return 10 * std::log10(255.0 * 255.0 * double(count) / sum);
}
