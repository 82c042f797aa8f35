#include "zeroed_memory.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#if defined(__linux__)
#include <sys/mman.h>

#include <array>
#include <mutex>
#endif

namespace Tessera {

namespace {

#if defined(__linux__)
// Blocks from 64 KiB up are mapped directly. Each lies behind a header that
// holds its mapping's length, for a block kept and handed out again for a
// smaller request is freed with that request's size. Smaller pictures' blocks
// are mapped and kept too: from the C heap they came back as fresh pages
// whenever the heap had been trimmed between two pictures (the program's
// other work freeing memory at its top), and a 336 x 256 progressive picture,
// decoded between another decoder's pictures, took 1.7 ms rather than 0.55.
constexpr std::size_t kMappedFrom = std::size_t{64} << 10;
constexpr std::size_t kHeader = 64;  // keeps the block aligned for any kernel

// Blocks kept for the next pictures: every block of one picture (the three
// components' coefficients of a progressive frame, or an output picture
// beside them), up to 128 MiB in all (an 18-megapixel progressive picture's
// coefficients take 54 MB), so that a series of large pictures does not make
// the system fault in fresh pages again. They stay resident until a picture
// takes them, ReleaseKeptBlocks or the program's end: marking them free to
// the system (MADV_FREE) instead made every reuse slower (a 12-megapixel
// progressive decode 59.0 -> 61.5 ms, more where the pages had been taken
// back and faulted in again).
constexpr std::size_t kKeptBlocks = 8;
constexpr std::size_t kKeptBytes = std::size_t{128} << 20;

struct Mapping {
    void* base = nullptr;
    std::size_t length = 0;
};

class KeptMappings {
  public:
    // The smallest kept mapping of `length` bytes or more, but not of more
    // than twice that (it would keep a block that a later, larger request
    // wants); an empty one when none fits.
    Mapping Take(std::size_t length) {
        const std::lock_guard lock(mutex);
        std::size_t best = count;
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t candidate = kept[i].length;
            if (candidate >= length && candidate / 2 <= length &&
                (best == count || candidate < kept[best].length))
                best = i;
        }
        if (best == count) return {};
        const Mapping taken = kept[best];
        Remove(best);
        return taken;
    }

    // Keeps the mapping; returns the ones to unmap (the oldest, when the
    // mapping would exceed the bounds), count of them in `dropped`.
    std::size_t Keep(Mapping mapping, std::array<Mapping, kKeptBlocks>& dropped) {
        const std::lock_guard lock(mutex);
        std::size_t droppedCount = 0;
        while (count > 0 && (count == kKeptBlocks || bytes + mapping.length > kKeptBytes)) {
            dropped[droppedCount++] = kept[0];
            Remove(0);
        }
        kept[count++] = mapping;
        bytes += mapping.length;
        return droppedCount;
    }

    std::size_t TakeAll(std::array<Mapping, kKeptBlocks>& all) {
        const std::lock_guard lock(mutex);
        const std::size_t taken = count;
        for (std::size_t i = 0; i < count; ++i) all[i] = kept[i];
        count = 0;
        bytes = 0;
        return taken;
    }

  private:
    // Removes entry i, keeping the others oldest first.
    void Remove(std::size_t i) {
        bytes -= kept[i].length;
        for (; i + 1 < count; ++i) kept[i] = kept[i + 1];
        --count;
    }

    std::mutex mutex;
    std::array<Mapping, kKeptBlocks> kept{};  // oldest first
    std::size_t count = 0;
    std::size_t bytes = 0;
};

// Never destroyed: blocks may be freed while the program exits.
KeptMappings& Kept() {
    static KeptMappings& kept = *new KeptMappings;
    return kept;
}

std::size_t MappedLength(std::size_t bytes) {
    constexpr std::size_t kPage = 4096;
    return (kHeader + bytes + kPage - 1) / kPage * kPage;
}

void* BlockOf(Mapping mapping) {
    *static_cast<std::size_t*>(mapping.base) = mapping.length;
    return static_cast<std::uint8_t*>(mapping.base) + kHeader;
}

Mapping MappingOf(void* block) {
    void* base = static_cast<std::uint8_t*>(block) - kHeader;
    return {base, *static_cast<std::size_t*>(base)};
}
#endif

}  // namespace

// A large block is mapped as fresh pages, which the system clears as they are
// first touched. That costs a fault a page (about 30 ms for the 68 MB of an
// 18-megapixel progressive picture's coefficients, on a virtual machine); a
// kept block cleared with memset costs a fifth of that. Huge pages, which cut
// the faults, are not asked for: on a virtual machine whose host takes back
// the guest's free memory, the host had to back each huge page anew, and 68 MB
// of them took 200-600 ms after a few idle seconds, against 30 ms in small pages.
void* AllocateZeroed(std::size_t bytes) {
#if defined(__linux__)
    if (bytes >= kMappedFrom) {
        const std::size_t length = MappedLength(bytes);
        if (const Mapping kept = Kept().Take(length); kept.base != nullptr) {
            void* block = BlockOf(kept);
            std::memset(block, 0, bytes);
            return block;
        }
        void* base =
            mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (base == MAP_FAILED) throw std::bad_alloc();
        return BlockOf({base, length});
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
        const Mapping mapping = MappingOf(block);
        if (mapping.length > kKeptBytes) {
            munmap(mapping.base, mapping.length);
            return;
        }
        std::array<Mapping, kKeptBlocks> dropped;
        const std::size_t count = Kept().Keep(mapping, dropped);
        for (std::size_t i = 0; i < count; ++i) munmap(dropped[i].base, dropped[i].length);
        return;
    }
#endif
    std::free(block);
}

void ReleaseKeptBlocks() noexcept {
#if defined(__linux__)
    std::array<Mapping, kKeptBlocks> all;
    const std::size_t count = Kept().TakeAll(all);
    for (std::size_t i = 0; i < count; ++i) munmap(all[i].base, all[i].length);
#endif
}

}  // namespace Tessera
