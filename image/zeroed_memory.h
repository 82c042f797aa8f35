#pragma once

#include <cstddef>
#include <new>

namespace Tessera {

// Memory that comes zeroed, for the large per-picture buffers (pixels,
// samples, coefficients). On Linux a large block is mapped as fresh pages,
// which the system zeroes as they are first touched, so nothing writes the
// zeros a second time; a freed one is kept for the next pictures (a few, a
// bounded amount) and cleared when handed out again, which costs less than
// faulting in fresh pages. Thread-safe.
void* AllocateZeroed(std::size_t bytes);  // throws std::bad_alloc
void FreeZeroed(void* block, std::size_t bytes) noexcept;
// Hands the kept blocks back to the system.
void ReleaseKeptBlocks() noexcept;

// A std::vector allocator over AllocateZeroed for the decoder's large
// buffers. Elements that are value-initialised without arguments are left
// unwritten (the fill that follows a resize would write them a second time),
// so a vector grown with resize must have its new elements written by its
// owner: memory that a buffer kept from an earlier picture holds old values.
template <typename T>
class LargeBufferAllocator {
  public:
    using value_type = T;

    LargeBufferAllocator() = default;
    template <typename U>
    LargeBufferAllocator(const LargeBufferAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
        return static_cast<T*>(AllocateZeroed(n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t n) noexcept { FreeZeroed(p, n * sizeof(T)); }

    // Default-initialisation instead of value-initialisation.
    template <typename U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(static_cast<Args&&>(args)...);
    }

    friend bool operator==(const LargeBufferAllocator&, const LargeBufferAllocator&) {
        return true;
    }
};

}  // namespace Tessera
