#pragma once

#include <chrono>
#include <thread>

#if defined(__x86_64__) || defined(_M_X64) || defined(__i386__)
#include <immintrin.h>
#endif

namespace Tessera {

// How long a thread that waits for another spins before it sleeps: a few
// rows of MCUs of a large picture, short enough that a partner far behind
// costs little. Putting a thread to sleep and waking it costs about a row
// (a system call each way and an interrupt to the other core; on a virtual
// machine more).
inline constexpr std::chrono::microseconds kSpinTime{200};

// Spins until `ready` holds or kSpinTime has passed; whether it holds.
template <class Ready>
bool SpinUntil(const Ready& ready) {
    if (ready()) return true;
    const auto deadline = std::chrono::steady_clock::now() + kSpinTime;
    for (unsigned spins = 1;; ++spins) {
#if defined(__x86_64__) || defined(_M_X64) || defined(__i386__)
        _mm_pause();
#else
        std::this_thread::yield();
#endif
        if (ready()) return true;
        if (spins % 64 == 0 && std::chrono::steady_clock::now() > deadline) return false;
    }
}

}  // namespace Tessera
