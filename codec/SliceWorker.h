// One of an instance's four decoding threads. Worker k decodes slice k of a
// field; the caller posts a job through `wakeEvent` and waits on `doneEvent`.
// The events order every access to the job fields, so nothing else is locked.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/Threads.h"

struct CodecInstance;

constexpr size_t WORKER_STACK_SIZE = 0x40000;
constexpr uint32_t WORKER_POLL_MS = 1000;  // an idle worker looks at `quit` this often

struct SliceWorker {
    CodecInstance* owner;
    std::atomic<bool> quit;
    int32_t sliceIndex;
    PlatformThread* thread;
    PlatformEvent* wakeEvent;
    PlatformEvent* doneEvent;
    // The posted job.
    uint8_t* jobOutput;  // top line of the field in the destination picture
    const uint8_t* jobData;  // the slice's first byte (its 24-bit length)
    uint32_t jobSize;  // bytes of the slice that may be read
    uint32_t jobPixelFormat;
    ptrdiff_t jobStride;
    bool jobDamaged;  // set by the worker: the slice ran past its data
};

// A worker with both events and no thread yet; null when an event cannot be made.
SliceWorker* CreateWorker();

// Starts the thread (once). False when it cannot be created.
bool StartWorker(SliceWorker* worker, CodecInstance* owner, int sliceIndex);

void PostJob(SliceWorker* worker, uint8_t* output, const uint8_t* data, uint32_t size,
             uint32_t pixelFormat, ptrdiff_t stride);

WaitResult WaitDone(SliceWorker* worker, uint32_t milliseconds);

// Ends the thread, waiting for as long as it is still decoding, closes the
// events and frees the record.
void StopWorker(SliceWorker* worker);
