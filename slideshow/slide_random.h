#pragma once

#include <cstdint>

namespace Miruton {

// The show's source of random choices: the classic C runtime generator, never
// seeded, so every run of the show makes the same sequence of choices on every
// platform. Each draw is seed ← seed × 214013 + 2531011 (mod 2^32), returning
// bits 16..30 of the new seed (0..32767).
class SlideRandom {
  public:
    int Next() {
        seed = seed * kMultiplier + kIncrement;
        return static_cast<int>((seed >> 16) & 0x7FFF);
    }

  private:
    static constexpr std::uint32_t kMultiplier = 214013;
    static constexpr std::uint32_t kIncrement = 2531011;
    std::uint32_t seed = 1;  // the runtime's seed before any srand
};

}  // namespace Miruton
