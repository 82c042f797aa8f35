#pragma once

#include <atomic>
#include <functional>

namespace Tessera {

// Work handed to one of the process's worker threads, waited for by the
// thread that handed it out. The worker threads are shared by every decode
// and park between tasks, leaving after a few idle seconds; a task goes to
// the thread that parked last, or to a new thread when none is parked.
//
// A thread started per decode costs more than its start: the scheduler puts
// a new thread behind whatever runs on the core it picks, for milliseconds
// when other programs keep the cores busy, where a parked thread that is
// woken runs at once.
class WorkerTask {
  public:
    // Starts `work` on a worker thread. `work` must not throw: it reports
    // failures through what it captures.
    explicit WorkerTask(std::function<void()> work);
    WorkerTask(const WorkerTask&) = delete;
    WorkerTask& operator=(const WorkerTask&) = delete;
    // Waits for the work to return.
    ~WorkerTask();

    // Returns once the work has returned; its thread is parked again by
    // then. Spins for a while before it sleeps, as the work is usually a
    // part of a decode that ends about when the caller's part does.
    void Wait();

    // Worker threads parked now (for tests: none leave while this program
    // hands out work more often than every few seconds).
    static unsigned Parked();

  private:
    friend class WorkerThreads;

    std::function<void()> work;
    std::atomic<bool> done{false};  // set, under the threads' lock, after `work` returned
    bool waited = false;
};

}  // namespace Tessera
