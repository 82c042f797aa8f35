#include "step_pipeline.h"

#include "spin_wait.h"
#include "worker_threads.h"

namespace Tessera {

template <class Ready>
void StepPipeline::WaitUntil(const Ready& ready) {
    if (SpinUntil(ready)) return;
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
