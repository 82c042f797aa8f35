#include "step_pipeline.h"

#include <chrono>
#include <thread>

#include "worker_threads.h"

#if defined(__x86_64__) || defined(_M_X64) || defined(__i386__)
#include <immintrin.h>
#endif

namespace Tessera {

namespace {

// How long a waiting thread spins before it sleeps: a few steps' worth of
// a large picture, short enough that a stalled partner costs little.
constexpr std::chrono::microseconds kSpinTime{200};

void Pause() {
#if defined(__x86_64__) || defined(_M_X64) || defined(__i386__)
    _mm_pause();
#else
    std::this_thread::yield();
#endif
}

}  // namespace

template <class Ready>
void StepPipeline::WaitUntil(const Ready& ready) {
    if (ready()) return;
    const auto deadline = std::chrono::steady_clock::now() + kSpinTime;
    for (unsigned spins = 1;; ++spins) {
        Pause();
        if (ready()) return;
        if (spins % 64 == 0 && std::chrono::steady_clock::now() > deadline) break;
    }
    // Sequentially consistent, as the counters' stores: either the other
    // thread sees this sleeper after its store, or this thread sees the
    // store in the check under the lock.
    std::unique_lock lock(mutex);
    ++sleepers;
    changed.wait(lock, ready);
    --sleepers;
}

void StepPipeline::Announce() {
    if (sleepers.load() == 0) return;
    { const std::lock_guard lock(mutex); }  // a sleeper between its check and its wait
    changed.notify_all();
}

void StepPipeline::Run(unsigned first, unsigned end, unsigned depth, const Stage& produce,
                       const Stage& consumeStage) {
    if (first >= end) return;
    consume = &consumeStage;
    last = end;
    produced = first;
    consumed = first;
    stopping = false;
    workerFailed = false;
    workerFailure = nullptr;
    WorkerTask worker([this] { Consume(); });

    std::exception_ptr producerFailure;
    for (unsigned step = first; step < end; ++step) {
        if (step >= first + depth)
            WaitUntil([&] { return consumed >= step - depth + 1 || workerFailed; });
        if (workerFailed) break;
        try {
            produce(step);
        } catch (...) {
            producerFailure = std::current_exception();
            break;
        }
        produced = step + 1;
        Announce();
    }

    if (producerFailure) {
        stopping = true;
        Announce();
    }
    worker.Wait();
    consume = nullptr;
    if (producerFailure) std::rethrow_exception(producerFailure);
    if (workerFailure) std::rethrow_exception(workerFailure);
}

void StepPipeline::Consume() {
    for (;;) {
        const unsigned step = consumed;
        // Every step the producer finished is consumed, even after it
        // failed: they are the rows it decoded before the failure.
        WaitUntil([&] { return step < produced || stopping || step == last; });
        if (step == produced && (stopping || step == last)) return;
        try {
            (*consume)(step);
        } catch (...) {
            workerFailure = std::current_exception();
            workerFailed = true;
            Announce();
            return;
        }
        consumed = step + 1;
        Announce();
    }
}

}  // namespace Tessera
