#include "step_pipeline.h"

namespace Tessera {

StepPipeline::~StepPipeline() {
    if (!worker.joinable()) return;
    {
        const std::lock_guard lock(mutex);
        quitting = true;
    }
    changed.notify_all();
    worker.join();
}

void StepPipeline::Run(unsigned first, unsigned end, unsigned depth, const Stage& produce,
                       const Stage& consumeStage) {
    if (first >= end) return;
    {
        const std::lock_guard lock(mutex);
        consume = &consumeStage;
        produced = consumed = first;
        last = end;
        running = true;
        stopping = false;
        workerFailure = nullptr;
    }
    if (!worker.joinable()) worker = std::thread([this] { Work(); });
    changed.notify_all();

    std::exception_ptr producerFailure;
    for (unsigned step = first; step < end; ++step) {
        {
            std::unique_lock lock(mutex);
            if (step >= first + depth) WaitForConsumed(step - depth + 1, lock);
            if (workerFailure) break;
        }
        try {
            produce(step);
        } catch (...) {
            producerFailure = std::current_exception();
            break;
        }
        {
            const std::lock_guard lock(mutex);
            produced = step + 1;
        }
        changed.notify_all();
    }

    std::unique_lock lock(mutex);
    if (producerFailure) stopping = true;
    changed.notify_all();
    changed.wait(lock, [&] { return !running; });
    consume = nullptr;
    if (producerFailure) std::rethrow_exception(producerFailure);
    if (workerFailure) std::rethrow_exception(workerFailure);
}

void StepPipeline::WaitForConsumed(unsigned step, std::unique_lock<std::mutex>& lock) {
    changed.wait(lock, [&] { return consumed >= step || workerFailure != nullptr; });
}

void StepPipeline::Work() {
    std::unique_lock lock(mutex);
    for (;;) {
        changed.wait(lock, [&] { return quitting || running; });
        if (quitting) return;
        lock.unlock();
        Consume();
        lock.lock();
        running = false;
        changed.notify_all();
    }
}

void StepPipeline::Consume() {
    for (;;) {
        unsigned step = 0;
        {
            std::unique_lock lock(mutex);
            // Every step the producer finished is consumed, even after it
            // failed: they are the rows it decoded before the failure.
            changed.wait(lock, [&] { return consumed < produced || stopping || consumed == last; });
            if (consumed == produced && (stopping || consumed == last)) return;
            step = consumed;
        }
        try {
            (*consume)(step);
        } catch (...) {
            const std::lock_guard lock(mutex);
            workerFailure = std::current_exception();
            changed.notify_all();
            return;
        }
        {
            const std::lock_guard lock(mutex);
            consumed = step + 1;
        }
        changed.notify_all();
    }
}

}  // namespace Tessera
