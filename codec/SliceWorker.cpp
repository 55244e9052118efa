// SPDX-License-Identifier: BSD-2-Clause
#include "codec/SliceWorker.h"

#include <algorithm>
#include <chrono>
#include <new>

#if defined(__SSE2__) || defined(_M_IX86) || defined(_M_X64)
#include <emmintrin.h>
#endif

#include "codec/ConstructionFailures.h"
#include "codec/SliceCoder.h"

namespace {

// How long a thread out of work keeps looking before it sleeps: longer than
// the gap between two fields of a frame, far shorter than a field.
constexpr auto SPIN_TIME = std::chrono::microseconds(50);
constexpr int SPINS_PER_CLOCK_READ = 32;

void Relax()
{
#if defined(__SSE2__) || defined(_M_IX86) || defined(_M_X64)
    _mm_pause();
#endif
}

// Spins until `ready` holds or SPIN_TIME has passed; returns `ready()`.
template <typename Ready>
bool SpinUntil(Ready ready)
{
    const auto until = std::chrono::steady_clock::now() + SPIN_TIME;
    for (;;) {
        for (int i = 0; i < SPINS_PER_CLOCK_READ; ++i) {
            if (ready())
                return true;
            Relax();
        }
        if (std::chrono::steady_clock::now() >= until)
            return ready();
    }
}

bool SliceWaiting(const FieldJob* job)
{
    return job->next.load(std::memory_order_relaxed) < SLICE_COUNT;
}

// Claims and decodes slices until none is left. True when this thread
// decoded the field's last slice.
bool DecodeClaimedSlices(const CodecInstance* instance, FieldJob* job)
{
    bool last = false;
    for (;;) {
        const int32_t k = job->next.fetch_add(1, std::memory_order_acquire);
        if (k >= SLICE_COUNT)
            return last;
        if (DecodeSlice(instance, job->spans[k].data, job->spans[k].size, job->output, job->stride, k, job->pixelFormat))
            job->damaged.store(true, std::memory_order_relaxed);
        last = job->remaining.fetch_sub(1, std::memory_order_acq_rel) == 1;
    }
}

uint32_t WorkerMain(void* argument)
{
    SliceWorker* worker = static_cast<SliceWorker*>(argument);
    FieldJob* job = worker->owner->fieldJob;
    const auto wanted = [worker, job] {
        return SliceWaiting(job) || worker->quit.load(std::memory_order_relaxed);
    };
    while (!worker->quit.load(std::memory_order_acquire)) {
        if (!SpinUntil(wanted) && WaitEvent(worker->wakeEvent, WORKER_POLL_MS) == WAIT_TIMED_OUT)
            continue;
        if (worker->quit.load(std::memory_order_acquire))
            break;
        if (DecodeClaimedSlices(worker->owner, job))
            SignalEvent(job->doneEvent);
    }
    return 0;
}

// One worker for each processor besides the caller's, and none on a single
// processor (a process held to one core by taskset, a container or a fuzzing
// worker), where a woken worker would only take turns with the caller.
int32_t HelpersFor(int processors)
{
    return std::clamp(processors - 1, 0, SLICE_COUNT - 1);
}

// Starts the threads of the first `wanted` workers that have none, so that an
// instance that only encodes, or runs on one processor, starts none. Returns
// how many of them have a thread; a thread that cannot be had now is tried
// again on the next field, and its slices meanwhile go to the others.
int32_t StartHelpers(CodecInstance* instance, int32_t wanted)
{
    for (int k = 0; k < wanted; ++k) {
        SliceWorker* worker = instance->workers[k];
        if (!worker->thread && (ConstructionShouldFail() || !StartWorker(worker, instance, k)))
            return k;
    }
    return wanted;
}

}  // namespace

FieldJob* CreateFieldJob()
{
    FieldJob* job = new (std::nothrow) FieldJob{};
    if (!job)
        return nullptr;
    job->next.store(SLICE_COUNT, std::memory_order_relaxed);
    job->helpers = HelpersFor(ProcessorCount());
    job->doneEvent = ConstructionShouldFail() ? nullptr : CreateAutoResetEvent();
    if (!job->doneEvent) {
        DestroyFieldJob(job);
        return nullptr;
    }
    return job;
}

void DestroyFieldJob(FieldJob* job)
{
    if (job->doneEvent)
        CloseEvent(job->doneEvent);
    delete job;
}

SliceWorker* CreateWorker()
{
    SliceWorker* worker = new (std::nothrow) SliceWorker{};
    if (!worker)
        return nullptr;
    worker->wakeEvent = ConstructionShouldFail() ? nullptr : CreateAutoResetEvent();
    if (!worker->wakeEvent) {
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

bool DecodeSlicesOnWorkers(CodecInstance* instance, const SliceSpan spans[SLICE_COUNT], uint8_t* output,
                           ptrdiff_t stride)
{
    // Every slice of the previous field is decoded, so no thread reads the
    // job until `next` publishes it.
    FieldJob* job = instance->fieldJob;
    job->output = output;
    job->stride = stride;
    job->pixelFormat = instance->pixelFormat;
    std::copy(spans, spans + SLICE_COUNT, job->spans);
    job->damaged.store(false, std::memory_order_relaxed);
    job->remaining.store(SLICE_COUNT, std::memory_order_relaxed);
    const int32_t helpers = StartHelpers(instance, job->helpers);
    job->next.store(0, std::memory_order_release);
    for (int k = 0; k < helpers; ++k)
        SignalEvent(instance->workers[k]->wakeEvent);
    DecodeClaimedSlices(instance, job);
    // Waiting without limit: a slice's work is bounded by the picture, and the
    // caller's picture must not be written after this returns. A signal left
    // over from an earlier field only costs one more look at `remaining`.
    const auto done = [job] { return job->remaining.load(std::memory_order_acquire) == 0; };
    while (!SpinUntil(done))
        WaitEvent(job->doneEvent, WAIT_FOREVER);
    return job->damaged.load(std::memory_order_relaxed);
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
    delete worker;
}
