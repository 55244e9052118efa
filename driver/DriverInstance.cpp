// SPDX-License-Identifier: BSD-2-Clause
#include "driver/DriverInstance.h"

#include <new>

#include "codec/CodecInstance.h"
#include "codec/ConstructionFailures.h"

DriverInstance* OpenDriverInstance()
{
    DriverInstance* instance = ConstructionShouldFail() ? nullptr : new (std::nothrow) DriverInstance{};
    if (!instance)
        return nullptr;
    instance->codec = CreateCodecInstance();
    if (!instance->codec) {
        delete instance;
        return nullptr;
    }
    // Every instance writes QF25 as its compressed format, also when the host
    // opened it without parameters or under another handler name.
    instance->codec->fourcc = FOURCC_QF25;
    return instance;
}

void CloseDriverInstance(DriverInstance* instance)
{
    if (!instance)
        return;
    DestroyCodecInstance(instance->codec);
    delete instance;
}
