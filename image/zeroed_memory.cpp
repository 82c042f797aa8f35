#include "zeroed_memory.h"

#include <cstdint>
#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace Tessera {

namespace {

#if defined(__linux__)
// Blocks from 4 MiB up are mapped directly, aligned to the 2 MiB of a huge
// page so that every whole huge page of them can be one.
constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kMappedFrom = 2 * kHugePage;

std::size_t MappedSize(std::size_t bytes) {
    return (bytes + kHugePage - 1) / kHugePage * kHugePage;
}
#endif

}  // namespace

void* AllocateZeroed(std::size_t bytes) {
#if defined(__linux__)
    if (bytes >= kMappedFrom) {
        const std::size_t size = MappedSize(bytes);
        // Map one huge page more, then drop the unaligned ends.
        void* mapped = mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE,
                            MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED) throw std::bad_alloc();
        const auto start = reinterpret_cast<std::uintptr_t>(mapped);
        const std::uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
        if (aligned > start) munmap(mapped, aligned - start);
        const std::size_t tail = start + size + kHugePage - (aligned + size);
        if (tail > 0) munmap(reinterpret_cast<void*>(aligned + size), tail);
        void* block = reinterpret_cast<void*>(aligned);
        madvise(block, size, MADV_HUGEPAGE);  // advice only: failure is harmless
        return block;
    }
#endif
    void* block = std::calloc(bytes == 0 ? 1 : bytes, 1);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

void FreeZeroed(void* block, [[maybe_unused]] std::size_t bytes) noexcept {
    if (block == nullptr) return;
#if defined(__linux__)
    if (bytes >= kMappedFrom) {
        munmap(block, MappedSize(bytes));
        return;
    }
#endif
    std::free(block);
}

}  // namespace Tessera
