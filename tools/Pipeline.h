// SPDX-License-Identifier: BSD-2-Clause
// Runs frames through several codec instances at once. The calling thread
// reads frames and writes results strictly in order; worker threads do the
// coding. A fixed number of jobs circulates, so memory stays the same
// whatever the length of the input, and the buffers of a job are reused by
// the frames that follow it.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

struct FrameJob {
    int64_t number = 0;  // position in the stream, from 0
    std::vector<uint8_t> picture;
    std::vector<uint8_t> coded;
    uint32_t codedBytes = 0;
    int outcome = 0;      // whatever the work step wants the consumer to know
    std::string problem;  // likewise, for damaged frames
    std::exception_ptr failure;
};

struct PipelineSteps {
    // On the calling thread. Fills the next job; false when there is none.
    std::function<bool(FrameJob&)> produce;
    // On a worker thread; `worker` < the worker count, so each worker can own
    // its codec instance.
    std::function<void(int worker, FrameJob&)> work;
    // On the calling thread, in frame order.
    std::function<void(FrameJob&)> consume;
};

// Jobs in flight: enough to keep every worker busy while the calling thread
// reads and writes.
int DefaultPipelineDepth(int workers);

// Returns the frames consumed. A failure thrown by any step ends the run
// (after the workers have stopped) and is rethrown here.
int64_t RunPipeline(int workers, int depth, const PipelineSteps& steps);
