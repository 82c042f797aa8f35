#pragma once

#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>

namespace Tessera {

// Two stages of a decode on two threads: the calling thread produces steps
// (rows of MCUs, in order) while a worker thread (a WorkerTask per run)
// consumes them, a bounded number of steps behind.
//
// A step takes tens to hundreds of microseconds, about what putting a thread
// to sleep and waking it costs (a system call each way and an interrupt to
// the other core; on a virtual machine more). So a thread that must wait for
// the other first spins for a while on the counters, and only then sleeps;
// a thread that advances a counter takes the lock and wakes the other only
// when it sleeps.
class StepPipeline {
  public:
    using Stage = std::function<void(unsigned step)>;

    StepPipeline() = default;
    StepPipeline(const StepPipeline&) = delete;
    StepPipeline& operator=(const StepPipeline&) = delete;

    // For steps first .. last − 1: produce(s) on the calling thread, then
    // consume(s) on the worker; produce(s) waits until consume(s − depth)
    // has returned, so that at most `depth` steps are in flight (the room
    // of the buffers between the stages). Returns once every step is
    // consumed. A failure of either stage stops both (the step under way
    // finishes) and is thrown here: the producer's first.
    void Run(unsigned first, unsigned last, unsigned depth, const Stage& produce,
             const Stage& consume);

  private:
    void Consume();
    // Waits until `ready` holds: spins, then sleeps on `changed`.
    template <class Ready>
    void WaitUntil(const Ready& ready);
    // After a change another thread may wait for: wakes it if it sleeps.
    void Announce();

    std::mutex mutex;
    std::condition_variable changed;
    std::atomic<unsigned> sleepers{0};
    // The run in progress. `consume` and `last` are set before the worker
    // is started on the run and read only by it.
    const Stage* consume = nullptr;
    unsigned last = 0;
    std::atomic<unsigned> produced{0};  // steps produce has finished (first .. produced − 1)
    std::atomic<unsigned> consumed{0};
    std::atomic<bool> stopping{false};  // the producer failed: the worker stops
    std::atomic<bool> workerFailed{false};
    std::exception_ptr workerFailure;  // written before workerFailed is set
};

}  // namespace Tessera
