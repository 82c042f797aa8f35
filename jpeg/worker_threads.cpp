#include "worker_threads.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <iterator>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#if defined(__unix__) || defined(__APPLE__)
#include <pthread.h>
#define TESSERA_HAS_FORK 1
#endif

#include "spin_wait.h"

namespace Tessera {

namespace {

// A parked thread leaves after this long without work: longer than the gap
// between two pictures of a batch (reading a file, storing a thumbnail),
// short enough that a program that decoded once does not keep the thread.
constexpr std::chrono::seconds kIdleTime{5};

}  // namespace

class WorkerThreads {
  public:
    // The process's threads. A child process made by fork has none of its
    // parent's threads: there the set starts empty.
    static WorkerThreads& Get();

    WorkerThreads() = default;
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;
    // Wakes the parked threads to leave and waits for every thread.
    ~WorkerThreads();

    void Start(WorkerTask& task);
    void Wait(WorkerTask& task);
    unsigned Parked();

  private:
    struct Worker {
        std::thread thread;
        WorkerTask* task = nullptr;  // handed to it, not yet done
        std::condition_variable wake;
        bool left = false;  // the thread has returned or is returning
    };
    struct Holder;

    void Work(Worker& worker);

    std::mutex mutex;
    std::condition_variable finished;  // some task is done
    unsigned sleepers = 0;             // callers asleep in Wait
    std::vector<std::unique_ptr<Worker>> workers;
    std::vector<Worker*> parked;  // the last parked at the back
    bool quitting = false;
};

// Owns the set; replaced, not destroyed, in a child process (its mutex is
// held across the fork and its threads are the parent's). The fork handlers
// outlive the set in a program that forks while it exits: they then do
// nothing.
struct WorkerThreads::Holder {
    WorkerThreads* threads = new WorkerThreads;

    Holder() {
#if defined(TESSERA_HAS_FORK)
        pthread_atfork(
            [] {
                if (WorkerThreads* set = Instance().threads) set->mutex.lock();
            },
            [] {
                if (WorkerThreads* set = Instance().threads) set->mutex.unlock();
            },
            [] {
                if (Instance().threads != nullptr) Instance().threads = new WorkerThreads;
            });
#endif
    }
    ~Holder() {
        delete std::exchange(threads, nullptr);
    }

    static Holder& Instance() {
        static Holder holder;
        return holder;
    }
};

WorkerThreads& WorkerThreads::Get() {
    return *Holder::Instance().threads;
}

WorkerThreads::~WorkerThreads() {
    {
        const std::lock_guard lock(mutex);
        quitting = true;
        for (Worker* worker : parked) worker->wake.notify_one();
    }
    for (const auto& worker : workers) worker->thread.join();
}

void WorkerThreads::Start(WorkerTask& task) {
    std::vector<std::unique_ptr<Worker>> gone;
    {
        const std::lock_guard lock(mutex);
        const auto kept = std::stable_partition(workers.begin(), workers.end(),
                                                [](const auto& worker) { return !worker->left; });
        std::move(kept, workers.end(), std::back_inserter(gone));
        workers.erase(kept, workers.end());
        if (!parked.empty()) {
            Worker* worker = parked.back();
            parked.pop_back();
            worker->task = &task;
            worker->wake.notify_one();
        } else {
            auto worker = std::make_unique<Worker>();
            worker->task = &task;
            worker->thread = std::thread([this, raw = worker.get()] { Work(*raw); });
            workers.push_back(std::move(worker));
        }
    }
    for (const auto& worker : gone) worker->thread.join();
}

void WorkerThreads::Work(Worker& worker) {
    std::unique_lock lock(mutex);
    for (;;) {
        if (WorkerTask* task = worker.task) {
            lock.unlock();
            task->work();
            lock.lock();
            // Parked before the task is done, so that the waiter's next
            // task finds this thread.
            worker.task = nullptr;
            parked.push_back(&worker);
            task->done.store(true, std::memory_order_release);
            if (sleepers != 0) finished.notify_all();
        }
        const bool woken = !quitting && worker.wake.wait_for(lock, kIdleTime, [&] {
            return worker.task != nullptr || quitting;
        });
        if (!woken || worker.task == nullptr) break;
    }
    parked.erase(std::find(parked.begin(), parked.end(), &worker));
    worker.left = true;
}

void WorkerThreads::Wait(WorkerTask& task) {
    SpinUntil([&] { return task.done.load(std::memory_order_acquire); });
    // Taken even when the task is seen done: its thread marks it done under
    // the lock and does not touch it after, so once the lock is had the task
    // may go.
    std::unique_lock lock(mutex);
    if (task.done.load(std::memory_order_relaxed)) return;
    ++sleepers;
    finished.wait(lock, [&] { return task.done.load(std::memory_order_relaxed); });
    --sleepers;
}

unsigned WorkerThreads::Parked() {
    const std::lock_guard lock(mutex);
    return static_cast<unsigned>(parked.size());
}

WorkerTask::WorkerTask(std::function<void()> given) : work(std::move(given)) {
    WorkerThreads::Get().Start(*this);
}

WorkerTask::~WorkerTask() {
    Wait();
}

void WorkerTask::Wait() {
    if (waited) return;
    WorkerThreads::Get().Wait(*this);
    waited = true;
}

unsigned WorkerTask::Parked() {
    return WorkerThreads::Get().Parked();
}

}  // namespace Tessera
