// SPDX-License-Identifier: BSD-2-Clause
// A DirectShow source filter of the tests' own: one output pin that offers one
// media type and, when the host calls PushSamples, delivers the samples it was
// given on the caller's thread, then the end of the stream. The DirectShow
// host needs it because Wine's AVI splitter offers no media type for a FourCC
// it does not know.
#pragma once

#include <windows.h>
#include <dshow.h>

#include <cstdint>
#include <vector>

// A new filter, holding one reference, whose pin offers a copy of `type` and
// pushes `samples` as key frames of `frameTime` (100 ns units) each.
IBaseFilter* CreatePushSource(const AM_MEDIA_TYPE& type, std::vector<std::vector<uint8_t>> samples,
                              REFERENCE_TIME frameTime);

// The filter's one pin; the caller releases it.
IPin* PushSourcePin(IBaseFilter* source);

// Delivers every sample downstream, then the end of the stream. The graph
// must be running or paused; S_OK when every sample was taken.
HRESULT PushSamples(IBaseFilter* source);

// What a media type owns besides itself, as DirectShow's FreeMediaType frees it.
void FreeMediaType(AM_MEDIA_TYPE* type);
