#include "allocation_counter.h"

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>

namespace TesseraBench {

namespace {

// Atomic so that a library thread cannot corrupt the counts; the benchmark
// itself decodes on one thread.
std::atomic<std::size_t> liveBytes{0};
std::atomic<std::size_t> peakBytes{0};

void CountAllocation(void* block) {
    const std::size_t size = malloc_usable_size(block);
    const std::size_t now = liveBytes.fetch_add(size, std::memory_order_relaxed) + size;
    std::size_t peak = peakBytes.load(std::memory_order_relaxed);
    while (now > peak && !peakBytes.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
    }
}

void CountRelease(void* block) {
    liveBytes.fetch_sub(malloc_usable_size(block), std::memory_order_relaxed);
}

// Returns the block, or nullptr when there is no memory for it.
void* Allocate(std::size_t size, std::size_t alignment) {
    void* block = nullptr;
    if (alignment <= alignof(std::max_align_t)) {
        block = std::malloc(size == 0 ? 1 : size);
    } else if (posix_memalign(&block, std::max(alignment, sizeof(void*)), size == 0 ? 1 : size) !=
               0) {
        block = nullptr;
    }
    if (block != nullptr) CountAllocation(block);
    return block;
}

// The throwing form: asks the new-handler for memory until there is some.
void* AllocateOrThrow(std::size_t size, std::size_t alignment) {
    for (;;) {
        if (void* block = Allocate(size, alignment)) return block;
        std::new_handler handler = std::get_new_handler();
        if (handler == nullptr) throw std::bad_alloc();
        handler();
    }
}

void Release(void* block) noexcept {
    if (block == nullptr) return;
    CountRelease(block);
    std::free(block);
}

}  // namespace

std::size_t AllocationCounter::LiveBytes() {
    return liveBytes.load(std::memory_order_relaxed);
}

std::size_t AllocationCounter::PeakBytes() {
    return peakBytes.load(std::memory_order_relaxed);
}

void AllocationCounter::ResetPeak() {
    peakBytes.store(liveBytes.load(std::memory_order_relaxed), std::memory_order_relaxed);
}

}  // namespace TesseraBench

// --- the replaced global forms (every one, so that no block goes uncounted) ---

using TesseraBench::Allocate;
using TesseraBench::AllocateOrThrow;
using TesseraBench::Release;

namespace {
constexpr std::size_t kDefault = alignof(std::max_align_t);
std::size_t Alignment(std::align_val_t alignment) {
    return static_cast<std::size_t>(alignment);
}
}  // namespace

void* operator new(std::size_t size) {
    return AllocateOrThrow(size, kDefault);
}
void* operator new[](std::size_t size) {
    return AllocateOrThrow(size, kDefault);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size, kDefault);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size, kDefault);
}
void* operator new(std::size_t size, std::align_val_t alignment) {
    return AllocateOrThrow(size, Alignment(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return AllocateOrThrow(size, Alignment(alignment));
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return Allocate(size, Alignment(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return Allocate(size, Alignment(alignment));
}

void operator delete(void* block) noexcept {
    Release(block);
}
void operator delete[](void* block) noexcept {
    Release(block);
}
void operator delete(void* block, std::size_t) noexcept {
    Release(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    Release(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    Release(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    Release(block);
}
void operator delete(void* block, std::align_val_t) noexcept {
    Release(block);
}
void operator delete[](void* block, std::align_val_t) noexcept {
    Release(block);
}
void operator delete(void* block, std::size_t, std::align_val_t) noexcept {
    Release(block);
}
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept {
    Release(block);
}
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept {
    Release(block);
}
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept {
    Release(block);
}
