#include "codec/SliceWorker.h"

#include <new>

#include "codec/CodecInstance.h"
#include "codec/ConstructionFailures.h"
#include "codec/SliceCoder.h"

namespace {

uint32_t WorkerMain(void* argument)
{
    SliceWorker* worker = static_cast<SliceWorker*>(argument);
    while (!worker->quit.load(std::memory_order_acquire)) {
        if (WaitEvent(worker->wakeEvent, WORKER_POLL_MS) == WAIT_TIMED_OUT)
            continue;
        if (worker->quit.load(std::memory_order_acquire))
            break;
        worker->jobDamaged = DecodeSlice(worker->owner, worker->jobData, worker->jobSize, worker->jobOutput,
                                         worker->jobStride, worker->sliceIndex, worker->jobPixelFormat);
        SignalEvent(worker->doneEvent);
    }
    return 0;
}

}  // namespace

SliceWorker* CreateWorker()
{
    SliceWorker* worker = new (std::nothrow) SliceWorker{};
    if (!worker)
        return nullptr;
    worker->wakeEvent = ConstructionShouldFail() ? nullptr : CreateAutoResetEvent();
    worker->doneEvent = ConstructionShouldFail() ? nullptr : CreateAutoResetEvent();
    if (!worker->wakeEvent || !worker->doneEvent) {
        StopWorker(worker);
        return nullptr;
    }
    return worker;
}

bool StartWorker(SliceWorker* worker, CodecInstance* owner, int sliceIndex)
{
    worker->owner = owner;
    worker->sliceIndex = sliceIndex;
    if (!worker->thread)
        worker->thread = StartThread(WorkerMain, worker, WORKER_STACK_SIZE);
    return worker->thread != nullptr;
}

void PostJob(SliceWorker* worker, uint8_t* output, const uint8_t* data, uint32_t size,
             uint32_t pixelFormat, ptrdiff_t stride)
{
    worker->jobOutput = output;
    worker->jobData = data;
    worker->jobSize = size;
    worker->jobPixelFormat = pixelFormat;
    worker->jobStride = stride;
    SignalEvent(worker->wakeEvent);
}

WaitResult WaitDone(SliceWorker* worker, uint32_t milliseconds)
{
    return WaitEvent(worker->doneEvent, milliseconds);
}

void StopWorker(SliceWorker* worker)
{
    worker->quit.store(true, std::memory_order_release);
    if (worker->thread) {
        // A worker that is decoding finishes its slice first: decoding always
        // ends, and the record must outlive the thread that uses it.
        SignalEvent(worker->wakeEvent);
        JoinThread(worker->thread);
        worker->thread = nullptr;
    }
    if (worker->wakeEvent)
        CloseEvent(worker->wakeEvent);
    if (worker->doneEvent)
        CloseEvent(worker->doneEvent);
    delete worker;
}
