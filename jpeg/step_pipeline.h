#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace Tessera {

// Two stages of a decode on two threads: the calling thread produces steps
// (rows of MCUs, in order) while a worker thread consumes them, a bounded
// number of steps behind. The worker thread lives as long as the pipeline
// and sleeps between runs, so a reader that hands out a few rows per call
// does not start a thread per call.
class StepPipeline {
  public:
    using Stage = std::function<void(unsigned step)>;

    StepPipeline() = default;
    StepPipeline(const StepPipeline&) = delete;
    StepPipeline& operator=(const StepPipeline&) = delete;
    ~StepPipeline();

    // For steps first .. last − 1: produce(s) on the calling thread, then
    // consume(s) on the worker; produce(s) waits until consume(s − depth)
    // has returned, so that at most `depth` steps are in flight (the room
    // of the buffers between the stages). Returns once every step is
    // consumed. A failure of either stage stops both (the step under way
    // finishes) and is thrown here: the producer's first.
    void Run(unsigned first, unsigned last, unsigned depth, const Stage& produce,
             const Stage& consume);

  private:
    void Work();
    void Consume();
    // Waits until the worker has consumed `step` − 1 or has stopped.
    void WaitForConsumed(unsigned step, std::unique_lock<std::mutex>& lock);

    std::mutex mutex;
    std::condition_variable changed;
    std::thread worker;
    // The run in progress, guarded by the mutex.
    const Stage* consume = nullptr;
    unsigned produced = 0;  // steps produce has finished (first .. produced − 1)
    unsigned consumed = 0;
    unsigned last = 0;
    bool running = false;   // a run waits for the worker
    bool stopping = false;  // the producer failed: the worker stops
    bool quitting = false;  // the pipeline is destroyed
    std::exception_ptr workerFailure;
};

}  // namespace Tessera
