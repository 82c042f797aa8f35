// The calling thread and the worker, paced as RowShares shares a decode's
// rows out, at steady speeds that differ: each row is taken once, no part
// starts in the first restart interval, and the two end about together.
#include "jpeg/row_shares.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace TesseraTest {
namespace {

using Tessera::RowShares;

struct Part {
    unsigned first, last;
};

// The two threads' ends (ms) and the rows each took.
struct Outcome {
    double upperEnd = 0, lowerEnd = 0;
    unsigned upperRows = 0;
    std::vector<Part> parts;
};

// upper, lower: rows of MCUs per millisecond; the worker starts `setup` ms
// late. Each thread acts at its own time, the earlier one first.
Outcome Simulate(unsigned rows, const RowShares::Geometry& geometry, double upper, double lower,
                 double setup) {
    RowShares shares(0, rows, geometry, 0);
    Outcome outcome;
    double upperAt = 0, lowerAt = setup;
    bool upperOn = true, lowerOn = true;
    while (upperOn || lowerOn) {
        if (upperOn && (!lowerOn || upperAt <= lowerAt)) {
            unsigned row = 0;
            if (shares.TakeUpper(row)) {
                EXPECT_EQ(row, outcome.upperRows);
                ++outcome.upperRows;
                upperAt += 1 / upper;
            } else {
                upperOn = false;
                outcome.upperEnd = upperAt;
            }
            continue;
        }
        Part part{};
        if (shares.TakeLower(lowerAt, part.first, part.last)) {
            outcome.parts.push_back(part);
            lowerAt += (part.last - part.first + geometry.SeamRows()) / lower;
        } else {
            lowerOn = false;
            outcome.lowerEnd = lowerAt;
        }
    }
    EXPECT_EQ(shares.Met(), outcome.parts.empty() ? rows : outcome.parts.back().first);
    return outcome;
}

TEST(RowShares, BothThreadsEndTogetherAtTheirSpeeds) {
    // Restart markers every row of MCUs and smooth up-sampling (a seam of
    // two rows), every two rows, every MCU without up-sampling's reach.
    const RowShares::Geometry everyRow{100, 100, 1}, everyTwoRows{30, 60, 1}, everyMcu{30, 1, 0};
    const struct {
        unsigned rows;
        RowShares::Geometry geometry;
        double upper, lower, setup;
    } cases[] = {
        {216, everyRow, 1, 1, 2},     {216, everyRow, 1, 0.6, 2},     {216, everyRow, 0.6, 1, 2},
        {216, everyRow, 1, 0.35, 0},  {216, everyRow, 0.35, 1, 2},    {216, everyRow, 1, 1, 30},
        {216, everyTwoRows, 1, 1, 2}, {216, everyTwoRows, 0.5, 1, 1}, {216, everyMcu, 1, 0.7, 2},
        {10, everyRow, 1, 1, 0.5},    {10, everyMcu, 1, 1, 0.5},      {7, everyTwoRows, 1, 1, 0},
        {3000, everyMcu, 0.8, 1, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rows << " rows, seam " << c.geometry.SeamRows()
                                        << ", speeds " << c.upper << " / " << c.lower);
        const Outcome outcome = Simulate(c.rows, c.geometry, c.upper, c.lower, c.setup);
        // Every row once: the calling thread's from the top, the parts
        // below them, each ending where the one before began.
        unsigned next = c.rows;
        for (const Part& part : outcome.parts) {
            EXPECT_EQ(part.last, next);
            EXPECT_LT(part.first, part.last);
            EXPECT_GE(c.geometry.IntervalOf(part.first), 1u) << part.first;
            next = part.first;
        }
        EXPECT_EQ(next, outcome.upperRows);
        // Together, but for a seam's rows and a row or two, at the slower speed.
        const double slower = std::min(c.upper, c.lower);
        EXPECT_LE(std::abs(outcome.upperEnd - outcome.lowerEnd),
                  (c.geometry.SeamRows() + 2) / slower);
        // At most a few seams.
        EXPECT_LE(outcome.parts.size(), 4u);
    }
}

TEST(RowShares, AFailureStopsBothThreads) {
    RowShares shares(0, 100, {100, 100, 1}, 0);
    unsigned row = 0, first = 0, last = 0;
    ASSERT_TRUE(shares.TakeUpper(row));
    ASSERT_TRUE(shares.TakeLower(1, first, last));
    shares.Fail();
    EXPECT_FALSE(shares.TakeUpper(row));
    EXPECT_FALSE(shares.TakeLower(2, first, last));
}

}  // namespace
}  // namespace TesseraTest
