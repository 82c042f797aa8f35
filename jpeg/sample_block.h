#pragma once

#include <array>
#include <cstdint>

namespace Tessera {

// The 64 samples of one 8 × 8 block, row-major: row y, column x is element 8y + x.
class SampleBlock {
  public:
    SampleBlock() = default;
    SampleBlock(const SampleBlock&) = default;
    SampleBlock& operator=(const SampleBlock&) = default;
    virtual ~SampleBlock() = default;

    // Zero until a transform writes them, so that a picture cut short shows
    // black in the blocks it never reached rather than stale memory.
    std::array<std::uint8_t, 64> samples{};
};

}  // namespace Tessera
