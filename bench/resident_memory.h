#pragma once

#include <cstddef>
#include <optional>

namespace TesseraBench {

// The memory the process holds in RAM, as the system counts it (Linux:
// /proc/self/status), which is what a decode really costs: it counts pages
// as they are touched, however they were allocated (operator new, malloc or
// mapped directly, as the decoder does for its large buffers).
class ResidentMemory {
  public:
    static std::optional<std::size_t> CurrentBytes();  // VmRSS
    static std::optional<std::size_t> PeakBytes();     // VmHWM
    // Starts a new peak from the memory resident now; false when the system
    // does not allow it.
    static bool ResetPeak();
};

}  // namespace TesseraBench
