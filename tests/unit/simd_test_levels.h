#pragma once

#include <vector>

#include "jpeg/simd_level.h"

namespace Tessera::Testing {

// The kernel levels this CPU supports above Portable, each tested against it.
inline std::vector<SimdLevel> LevelsAbovePortable() {
    std::vector<SimdLevel> levels = SupportedSimdLevels();
    levels.erase(levels.begin());
    return levels;
}

}  // namespace Tessera::Testing
