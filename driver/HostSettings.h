// SPDX-License-Identifier: BSD-2-Clause
// The driver's face towards the host: its information block and the quality
// on the host's 0..10000 scale.
#pragma once

#include <qf25.h>

#include <cstdint>

#include "platform/Vfw.h"

constexpr int32_t MIN_QUALITY = QF25_MIN_QUALITY;
constexpr int32_t MAX_QUALITY = QF25_MAX_QUALITY;
constexpr int32_t HOST_QUALITY_STEP = 200;  // host units per quality step

// Fills everything but szDriver, which stays as the caller set it.
void FillInfo(ICINFO* info);

// The host's view of an instance quality: (quality - 50) x 200.
int32_t HostQualityOf(int32_t quality);

// The instance quality for a host value: value / 200 + 50 (truncated),
// kept within 50..99.
int32_t QualityFromHost(int32_t hostQuality);
