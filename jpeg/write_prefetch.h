#pragma once

namespace Tessera {

// Whether this processor can be asked for a cache line to write to before
// the write (x86's PREFETCHW, CPUID 0x80000001 ECX bit 8). Read once.
bool CanPrefetchForWriting();

// Asks for the cache line holding `address`, ready to be written. A line
// that another core's cache holds (a buffer two threads hand to each other)
// must be taken from there before a store to it completes, which costs
// hundreds of cycles; asked for early, that overlaps with other work.
// Only where CanPrefetchForWriting(): elsewhere the instruction may be
// undefined.
inline void PrefetchForWriting(const void* address) {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    asm volatile("prefetchw %0" : : "m"(*static_cast<const char*>(address)));
#else
    (void)address;
#endif
}

}  // namespace Tessera
