// SPDX-License-Identifier: BSD-2-Clause
// What a host holds for one open codec, through DriverProc or the field
// functions: the codec instance and the driver's own record of which
// coding sequences a BEGIN message accepted.
#pragma once

#include <qf25.h>

#include <cstdint>

struct CodecInstance;

struct DriverInstance {
    CodecInstance* codec;
    bool compressReady;    // the last ICM_COMPRESS_BEGIN accepted its picture
    bool decompressReady;  // the last ICM_DECOMPRESS_BEGIN accepted its pictures
};

// Four ASCII bytes, first letter lowest.
constexpr uint32_t MakeFourcc(char a, char b, char c, char d)
{
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
           uint32_t(uint8_t(d)) << 24;
}

constexpr uint32_t FOURCC_QF25 = MakeFourcc('Q', 'F', '2', '5');
static_assert(FOURCC_QF25 == QF25_FOURCC);

// A new instance coding QF25 at quality 95, with nothing accepted yet; null
// when the codec instance cannot be made.
DriverInstance* OpenDriverInstance();

// Stops the codec's workers and frees everything. Null is a no-op.
void CloseDriverInstance(DriverInstance* instance);
