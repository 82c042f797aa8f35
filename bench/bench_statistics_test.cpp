#include "bench_statistics.h"

#include <gtest/gtest.h>

#include <vector>

namespace TesseraBench {
namespace {

TEST(BenchStatistics, MedianOfOddCountIsTheMiddleValue) {
    const std::vector<double> samples{5, 1, 3, 9, 2};
    EXPECT_DOUBLE_EQ(*Median(samples), 3);
}

TEST(BenchStatistics, MedianOfEvenCountAveragesTheMiddlePair) {
    const std::vector<double> samples{4, 1, 3, 10};
    EXPECT_DOUBLE_EQ(*Median(samples), 3.5);
}

TEST(BenchStatistics, GeometricMeanBalancesReciprocalRatios) {
    const std::vector<double> ratios{2, 0.5};
    EXPECT_DOUBLE_EQ(*GeometricMean(ratios), 1);
    const std::vector<double> others{1, 4, 16};
    EXPECT_NEAR(*GeometricMean(others), 4, 1e-12);
}

TEST(BenchStatistics, NoSamplesGiveNoValue) {
    EXPECT_FALSE(Median({}).has_value());
    EXPECT_FALSE(GeometricMean({}).has_value());
}

}  // namespace
}  // namespace TesseraBench
