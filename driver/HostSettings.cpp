// SPDX-License-Identifier: BSD-2-Clause
#include "driver/HostSettings.h"

#include <algorithm>

#include "driver/DriverInstance.h"

namespace {

constexpr DWORD INFO_FLAGS = VIDCF_QUALITY | VIDCF_COMPRESSFRAMES | VIDCF_FASTTEMPORALC | VIDCF_FASTTEMPORALD;
constexpr char CODEC_NAME[] = "QF CoDec";
constexpr char CODEC_DESCRIPTION[] = "Trasko Video Codec [QF25]";

// Copies ASCII text into a wide field with its terminator.
template <size_t N, size_t M>
void CopyWide(WCHAR (&target)[N], const char (&text)[M])
{
    static_assert(M <= N, "the text and its terminator must fit");
    std::copy(text, text + M, target);
}

}  // namespace

void FillInfo(ICINFO* info)
{
    info->dwSize = sizeof(ICINFO);
    info->fccType = ICTYPE_VIDEO;
    info->fccHandler = FOURCC_QF25;
    info->dwFlags = INFO_FLAGS;
    info->dwVersion = 0;
    info->dwVersionICM = ICVERSION;
    CopyWide(info->szName, CODEC_NAME);
    CopyWide(info->szDescription, CODEC_DESCRIPTION);
}

int32_t HostQualityOf(int32_t quality)
{
    return (quality - MIN_QUALITY) * HOST_QUALITY_STEP;
}

int32_t QualityFromHost(int32_t hostQuality)
{
    return std::clamp(hostQuality / HOST_QUALITY_STEP + MIN_QUALITY, MIN_QUALITY, MAX_QUALITY);
}
