#include "write_prefetch.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <cpuid.h>
#endif

namespace Tessera {

bool CanPrefetchForWriting() {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    static const bool can = [] {
        unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
        constexpr unsigned kPrefetchWriteBit = 1u << 8;  // "3DNowPrefetch" / PRFCHW
        return __get_cpuid(0x80000001u, &eax, &ebx, &ecx, &edx) != 0 &&
               (ecx & kPrefetchWriteBit) != 0;
    }();
    return can;
#else
    return false;
#endif
}

}  // namespace Tessera
