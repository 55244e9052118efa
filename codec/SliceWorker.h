// SPDX-License-Identifier: BSD-2-Clause
// An instance's four decoding threads and the field they share. The caller
// publishes a field's four slices in its FieldJob, wakes as many workers as
// there are other processors (starting their threads on the first field that
// needs them), and takes slices itself; every thread claims the next
// unclaimed slice, so a worker that wakes late costs nothing but the
// slices it no longer gets. A worker that runs out of slices keeps looking
// for a moment before it sleeps, since the next field usually follows at once.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "codec/CodecInstance.h"
#include "platform/Threads.h"

constexpr size_t WORKER_STACK_SIZE = 0x40000;
constexpr uint32_t WORKER_POLL_MS = 1000;  // an idle worker looks at `quit` this often

// Where a slice starts (its 24-bit length) and how many bytes of it may be read.
struct SliceSpan {
    const uint8_t* data;
    uint32_t size;
};

struct FieldJob {
    // Written by the caller only while no slice can be claimed.
    uint8_t* output;  // top line of the field in the destination picture
    ptrdiff_t stride;
    uint32_t pixelFormat;
    SliceSpan spans[SLICE_COUNT];
    // The next slice to claim; SLICE_COUNT or more when none is left.
    std::atomic<int32_t> next;
    std::atomic<int32_t> remaining;  // slices claimed or not that are not yet decoded
    std::atomic<bool> damaged;       // some slice did not end where its length says
    PlatformEvent* doneEvent;        // signalled by the worker that decodes the last slice
    int32_t helpers;                 // workers woken for each field, 0 on one processor
};

struct SliceWorker {
    CodecInstance* owner;
    std::atomic<bool> quit;
    int32_t sliceIndex;
    PlatformThread* thread;
    PlatformEvent* wakeEvent;
};

// A job with its event and every slice claimed; null when it cannot be made.
FieldJob* CreateFieldJob();
void DestroyFieldJob(FieldJob* job);

// A worker with its event and no thread yet; null when the event cannot be made.
SliceWorker* CreateWorker();

// Starts the thread (once). False when it cannot be created.
bool StartWorker(SliceWorker* worker, CodecInstance* owner, int sliceIndex);

// Decodes the four slices into the field at `output` on the caller's thread
// and the woken workers (the caller alone when no worker can be had); returns
// once all are decoded, true when one of them was damaged. Not called again before it has returned.
bool DecodeSlicesOnWorkers(CodecInstance* instance, const SliceSpan spans[SLICE_COUNT], uint8_t* output,
                           ptrdiff_t stride);

// Ends the thread, waiting for as long as it is still decoding, closes the
// event and frees the record.
void StopWorker(SliceWorker* worker);
