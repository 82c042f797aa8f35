#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "jpeg/simd_level.h"

namespace TesseraBench {

struct BenchOptions {
    bool help = false;
    bool quick = false;
    std::optional<int> runs;  // fixed repetitions per file instead of the time-based count
    std::string filter;       // only files whose name contains it
    std::optional<std::filesystem::path> keepDirectory;
    std::optional<std::filesystem::path> photosDirectory;
    // Tessera's kernels; by default the best the processor runs.
    std::optional<Tessera::SimdLevel> simdLevel;
};

// The command line without the program name; throws BenchError for one that
// cannot be used.
BenchOptions ParseOptions(std::span<const std::string_view> arguments);

extern const std::string_view kUsage;

}  // namespace TesseraBench
