// SPDX-License-Identifier: BSD-2-Clause
// Shared pieces of the driver tests: messages sent the way the compression
// manager sends them, bitmap headers, and a capture of the trace lines.
#pragma once

#include <gtest/gtest.h>
#include <qf25.h>

#include <algorithm>
#include <string>
#include <vector>

#include "codec/CodecInstance.h"
#include "driver/DriverInstance.h"
#include "driver/Trace.h"
#include "platform/Vfw.h"

inline LRESULT Send(uintptr_t id, UINT message, const void* lParam1 = nullptr, const void* lParam2 = nullptr)
{
    return DriverProc(id, nullptr, message, reinterpret_cast<intptr_t>(lParam1),
                      reinterpret_cast<intptr_t>(lParam2));
}

inline BITMAPINFOHEADER Header(int32_t width, int32_t height, uint32_t compression, uint16_t bitCount)
{
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = bitCount;
    header.biCompression = compression;
    return header;
}

constexpr uint32_t UYVY = mmioFOURCC('U', 'Y', 'V', 'Y');

inline BITMAPINFOHEADER HeaderOf(uint32_t pixelFormat, int32_t width, int32_t height)
{
    switch (pixelFormat) {
    case PIXEL_FORMAT_UYVY:
        return Header(width, height, UYVY, 16);
    case PIXEL_FORMAT_BGR24:
        return Header(width, height, BI_RGB, 24);
    default:
        return Header(width, height, BI_RGB, 32);
    }
}

// An instance opened as the compression manager opens one; closed at the end
// of the scope.
struct OpenedCodec {
    uintptr_t id = 0;

    OpenedCodec()
    {
        ICOPEN parameters = {};
        parameters.dwSize = sizeof parameters;
        parameters.fccType = ICTYPE_VIDEO;
        parameters.fccHandler = mmioFOURCC('q', 'f', '2', '5');
        id = uintptr_t(::Send(0, DRV_OPEN, nullptr, &parameters));
    }
    ~OpenedCodec() { ::Send(id, DRV_CLOSE); }
    OpenedCodec(const OpenedCodec&) = delete;
    OpenedCodec& operator=(const OpenedCodec&) = delete;

    DriverInstance* instance() const { return reinterpret_cast<DriverInstance*>(id); }
    LRESULT Send(UINT message, const void* lParam1 = nullptr, const void* lParam2 = nullptr) const
    {
        return ::Send(id, message, lParam1, lParam2);
    }
};

// The trace lines written while it lives.
class TraceCapture {
public:
    TraceCapture() { previous_ = SetTraceSink(Collect); Lines().clear(); }
    ~TraceCapture() { SetTraceSink(previous_); }
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    const std::vector<std::string>& lines() const { return Lines(); }
    bool Contains(const std::string& line) const
    {
        return std::find(Lines().begin(), Lines().end(), line) != Lines().end();
    }

private:
    static std::vector<std::string>& Lines()
    {
        static std::vector<std::string> lines;
        return lines;
    }
    static void Collect(const char* line) { Lines().emplace_back(line); }
    TraceSink previous_;
};
