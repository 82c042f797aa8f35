#include "resident_memory.h"

#include <fstream>
#include <string>

namespace TesseraBench {

namespace {

// A "Name:   1234 kB" line of /proc/self/status, in bytes.
std::optional<std::size_t> StatusField(const std::string& name) {
    std::ifstream status("/proc/self/status");
    std::string key;
    std::size_t kilobytes = 0;
    std::string unit;
    while (status >> key) {
        if (key == name + ":" && status >> kilobytes >> unit) return kilobytes * 1024;
        status.ignore(1 << 16, '\n');
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::size_t> ResidentMemory::CurrentBytes() {
    return StatusField("VmRSS");
}

std::optional<std::size_t> ResidentMemory::PeakBytes() {
    return StatusField("VmHWM");
}

bool ResidentMemory::ResetPeak() {
    // Writing 5 to clear_refs resets the peak resident size (Linux 4.0 on).
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

}  // namespace TesseraBench
