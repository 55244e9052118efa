// SPDX-License-Identifier: BSD-2-Clause
#include "platform/Vfw.h"

namespace {
PlatformCallLog callLog = {};
}

LRESULT DefDriverProc(DWORD_PTR, HDRVR, UINT message, LPARAM, LPARAM)
{
    callLog.defaultMessage = message;
    ++callLog.defaultCount;
    switch (message) {
    case DRV_LOAD:
    case DRV_FREE:
    case DRV_ENABLE:
    case DRV_DISABLE:
    case DRV_INSTALL:
    case DRV_REMOVE:
        return 1;
    default:
        return 0;
    }
}

int MessageBoxA(HWND, const char* text, const char* caption, UINT style)
{
    callLog.messageBoxText = text;
    callLog.messageBoxCaption = caption;
    callLog.messageBoxStyle = style;
    ++callLog.messageBoxCount;
    return 1;  // IDOK: the only button
}

const PlatformCallLog& PlatformCalls()
{
    return callLog;
}
