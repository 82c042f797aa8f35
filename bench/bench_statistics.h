#pragma once

#include <optional>
#include <span>

namespace TesseraBench {

// The middle value of the samples (the mean of the two middle ones for an even
// count), or nothing for no samples.
std::optional<double> Median(std::span<const double> samples);

// The n-th root of the product of n positive values, or nothing for no values.
// Used for averaging ratios, where it treats 2x faster and 2x slower alike.
std::optional<double> GeometricMean(std::span<const double> values);

}  // namespace TesseraBench
