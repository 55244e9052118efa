// SPDX-License-Identifier: BSD-2-Clause
#include "Pipeline.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace {

struct SharedQueue {
    std::mutex mutex;
    std::condition_variable jobReady;
    std::condition_variable jobDone;
    std::deque<FrameJob*> waiting;
    std::vector<bool> done;  // by slot
    bool quit = false;
};

void WorkerLoop(SharedQueue& queue, std::vector<FrameJob>& jobs, int worker, const PipelineSteps& steps)
{
    for (;;) {
        FrameJob* job = nullptr;
        {
            std::unique_lock lock(queue.mutex);
            queue.jobReady.wait(lock, [&] { return queue.quit || !queue.waiting.empty(); });
            if (queue.quit)
                return;
            job = queue.waiting.front();
            queue.waiting.pop_front();
        }
        try {
            steps.work(worker, *job);
        } catch (...) {
            job->failure = std::current_exception();
        }
        {
            std::lock_guard lock(queue.mutex);
            queue.done[size_t(job - jobs.data())] = true;
        }
        queue.jobDone.notify_all();
    }
}

// Stops and joins the workers however the run ends, also when a step throws.
struct WorkerCrew {
    SharedQueue& queue;
    std::vector<std::thread> threads;

    ~WorkerCrew()
    {
        {
            std::lock_guard lock(queue.mutex);
            queue.quit = true;
        }
        queue.jobReady.notify_all();
        for (std::thread& thread : threads)
            thread.join();
    }
};

}  // namespace

int DefaultPipelineDepth(int workers)
{
    return 2 * workers + 2;
}

int64_t RunPipeline(int workers, int depth, const PipelineSteps& steps)
{
    std::vector<FrameJob> jobs(static_cast<size_t>(depth));
    SharedQueue queue;
    queue.done.assign(jobs.size(), false);
    WorkerCrew crew{queue, {}};
    for (int worker = 0; worker < workers; ++worker)
        crew.threads.emplace_back(WorkerLoop, std::ref(queue), std::ref(jobs), worker, std::cref(steps));

    int64_t produced = 0;
    int64_t consumed = 0;
    bool inputEnded = false;
    for (;;) {
        while (!inputEnded && produced - consumed < depth) {
            FrameJob& job = jobs[size_t(produced % depth)];
            job.number = produced;
            job.failure = nullptr;
            if (!steps.produce(job)) {
                inputEnded = true;
                break;
            }
            {
                std::lock_guard lock(queue.mutex);
                queue.done[size_t(produced % depth)] = false;
                queue.waiting.push_back(&job);
            }
            queue.jobReady.notify_one();
            ++produced;
        }
        if (produced == consumed)
            return consumed;
        const size_t slot = size_t(consumed % depth);
        {
            std::unique_lock lock(queue.mutex);
            queue.jobDone.wait(lock, [&] { return bool(queue.done[slot]); });
        }
        FrameJob& job = jobs[slot];
        if (job.failure)
            std::rethrow_exception(job.failure);
        ++consumed;
        steps.consume(job);
    }
}
