#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "turn_timing.h"

namespace TesseraBench {

struct SizedSettings {
    std::filesystem::path directory;  // where the file is made
    std::filesystem::path photo;      // the source photo; empty: a generated picture
    bool quick = false;               // a 640 × 480 picture instead of the 18-megapixel one
    TurnCount count;                  // repetitions in process
    int freshRuns = 11;               // fresh processes per decode for the memory figures
    std::string filter;
};

// Smaller decodes of one baseline photo through the public interface
// (DecodeJpeg into an RGB Image): the whole picture, 1/8 of its size, and
// the middle quarter of its area; and TurboJPEG's whole and 1/8 decodes
// beside them. Prints median times in process, into new buffers and into
// reused ones, the whole decode's time over each smaller one's, and the peak
// memory of each decode in a fresh process (tessera-bench's hidden
// --decode-once). Returns false when the filter leaves out the photo.
bool CompareSizedDecodes(const SizedSettings& settings);

// The hidden subcommand: `tessera-bench --decode-once KIND FILE` reads FILE
// and decodes it once as KIND says (read-only: not at all), printing the
// output's size. The arguments are those after --decode-once; returns the
// exit status.
inline constexpr std::string_view kDecodeOnceCommand = "--decode-once";
int DecodeOnce(std::span<const std::string_view> arguments);

}  // namespace TesseraBench
