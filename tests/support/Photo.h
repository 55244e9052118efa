// SPDX-License-Identifier: BSD-2-Clause
// A real photograph in any layout and size: the astronaut picture of the
// conformance vectors, scaled with integer bilinear interpolation so that
// every build makes the same bytes.
#pragma once

#include "support/FrameCoding.h"

Picture ScaledPhoto(uint32_t pixelFormat, int width, int height, bool bottomUp);
