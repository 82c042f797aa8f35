#pragma once

#include <cstddef>

namespace TesseraBench {

// Counts the bytes that operator new holds at a time, for measuring what a
// decode needs at its peak. allocation_counter.cpp replaces every global
// operator new and delete of the program with counting versions (malloc and
// malloc_usable_size underneath), so linking it in is what turns counting on.
// Memory that a library takes with malloc directly (libjpeg-turbo, stb_image)
// is not counted.
class AllocationCounter {
  public:
    // Bytes allocated through operator new and not yet deleted.
    static std::size_t LiveBytes();
    // The most LiveBytes has been since the last ResetPeak.
    static std::size_t PeakBytes();
    // Starts a new peak from the bytes live now.
    static void ResetPeak();
};

}  // namespace TesseraBench
