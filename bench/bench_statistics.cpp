#include "bench_statistics.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace TesseraBench {

std::optional<double> Median(std::span<const double> samples) {
    if (samples.empty()) return std::nullopt;
    std::vector<double> sorted(samples.begin(), samples.end());
    std::sort(sorted.begin(), sorted.end());
    const std::size_t middle = sorted.size() / 2;
    if (sorted.size() % 2 == 1) return sorted[middle];
    return (sorted[middle - 1] + sorted[middle]) / 2;
}

std::optional<double> GeometricMean(std::span<const double> values) {
    if (values.empty()) return std::nullopt;
    double logSum = 0;
    for (const double value : values) logSum += std::log(value);
    return std::exp(logSum / static_cast<double>(values.size()));
}

}  // namespace TesseraBench
