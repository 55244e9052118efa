// SPDX-License-Identifier: BSD-2-Clause
#include <windows.h>

#include "driver/EntryPoint.h"
#include "driver/Trace.h"

// Does no work: the processor check runs at DRV_LOAD and the shared tables
// are built with the first instance, never under the loader lock.
extern "C" QF25_ENTRY BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    const auto handle = unsigned(reinterpret_cast<DWORD_PTR>(instance));
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        Trace("qf_codec: DllMain: DLL_PROCESS_ATTACH (hInsance = 0x%8.8x)", handle);
        break;
    case DLL_PROCESS_DETACH:
        Trace("qf_codec: DllMain: DLL_PROCESS_DETACH (hInsance = 0x%8.8x)", handle);
        break;
    case DLL_THREAD_ATTACH:
    case DLL_THREAD_DETACH:
        break;
    default:
        Trace("qf_codec: DllMain: Reason = %d (hInsance = 0x%8.8x)", int(reason), handle);
        break;
    }
    return TRUE;
}
