// Block smoothing's estimates against what their geometry implies: a flat
// neighbourhood has no frequencies, mirroring the neighbourhood negates the
// odd ones, transposing it swaps the horizontal and vertical ones, and what
// the scans brought is never replaced.
#include "jpeg/block_smoothing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>

#include "jpeg/quant_table.h"

namespace Tessera {
namespace {

using Block = std::array<std::int16_t, 64>;

CoefficientBits DcOnlyBits() {
    CoefficientBits bits;
    bits.fill(kNeverCoded);
    bits[0] = 0;
    return bits;
}

// DC known, the first AC band (1 .. 5) to bit 1, the rest never coded.
CoefficientBits FirstBandBits() {
    CoefficientBits bits = DcOnlyBits();
    for (unsigned k = 1; k <= 5; ++k) bits[k] = 1;
    return bits;
}

QuantTable UniformTable(std::uint16_t value) {
    QuantTable table;
    table.values.fill(value);
    return table;
}

DcNeighbourhood RandomNeighbourhood(std::mt19937& random) {
    std::uniform_int_distribution<int> dc(-600, 600);
    DcNeighbourhood n;
    for (auto& row : n)
        for (int& value : row) value = dc(random);
    return n;
}

Block Smoothed(const DcNeighbourhood& dc, const CoefficientBits& bits, const QuantTable& quant,
               std::int16_t ownDc) {
    Block block{};
    block[0] = ownDc;
    SmoothBlock(dc, bits, quant, block.data());
    return block;
}

DcNeighbourhood Transposed(const DcNeighbourhood& n) {
    DcNeighbourhood t;
    for (unsigned r = 0; r < 5; ++r)
        for (unsigned c = 0; c < 5; ++c) t[r][c] = n[c][r];
    return t;
}

DcNeighbourhood MirroredLeftRight(DcNeighbourhood n) {
    for (auto& row : n) std::reverse(row.begin(), row.end());
    return n;
}

struct Progression {
    const char* name;
    CoefficientBits (*bits)();
};
constexpr Progression kProgressions[] = {{"DC only", DcOnlyBits}, {"first band", FirstBandBits}};

TEST(BlockSmoothing, FlatNeighbourhoodHasNoFrequencies) {
    for (const Progression& p : kProgressions) {
        SCOPED_TRACE(p.name);
        DcNeighbourhood flat;
        for (auto& row : flat) row.fill(37);
        const Block block = Smoothed(flat, p.bits(), UniformTable(3), 37);
        EXPECT_EQ(block[0], 37);
        for (unsigned k = 1; k < 64; ++k) EXPECT_EQ(block[k], 0) << k;
    }
}

TEST(BlockSmoothing, TransposingSwapsDirectionsAndMirroringNegatesOddFrequencies) {
    // Zigzag indices of (u, v) and (v, u): 1 (0,1) and 2 (1,0), 3 (2,0) and
    // 5 (0,2), 6 (0,3) and 9 (3,0), 7 (1,2) and 8 (2,1); 4 (1,1) is its own.
    constexpr std::array<unsigned, kSmoothedCoefficients> kTransposed = {0, 2, 1, 5, 4,
                                                                         3, 9, 8, 7, 6};
    // Odd in the horizontal frequency: (0,1), (1,1), (0,3), (2,1).
    constexpr std::array<int, kSmoothedCoefficients> kMirrorSign = {1, -1, 1, 1,  -1,
                                                                    1, -1, 1, -1, 1};
    const QuantTable quant = UniformTable(2);
    std::mt19937 random(7);
    for (const Progression& p : kProgressions) {
        SCOPED_TRACE(p.name);
        for (int trial = 0; trial < 50; ++trial) {
            const DcNeighbourhood n = RandomNeighbourhood(random);
            const Block block = Smoothed(n, p.bits(), quant, 0);
            const Block transposed = Smoothed(Transposed(n), p.bits(), quant, 0);
            const Block mirrored = Smoothed(MirroredLeftRight(n), p.bits(), quant, 0);
            for (unsigned k = 0; k < kSmoothedCoefficients; ++k) {
                EXPECT_EQ(transposed[kTransposed[k]], block[k]) << k;
                EXPECT_EQ(mirrored[k], kMirrorSign[k] * block[k]) << k;
            }
        }
    }
}

TEST(BlockSmoothing, EstimatesKeepWhatTheScansBrought) {
    std::mt19937 random(11);
    const QuantTable quant = UniformTable(1);
    for (int trial = 0; trial < 50; ++trial) {
        const DcNeighbourhood n = RandomNeighbourhood(random);
        // Bits above Al all zero: an estimate stays below 2^Al.
        const Block banded = Smoothed(n, FirstBandBits(), quant, 5);
        EXPECT_EQ(banded[0], 5);
        for (unsigned k = 1; k <= 5; ++k) EXPECT_LE(std::abs(banded[k]), 1) << k;
        // Complete coefficients, and those already non-zero, stay.
        CoefficientBits complete = FirstBandBits();
        complete[1] = 0;
        Block block{};
        block[0] = 5;
        block[2] = -3;
        SmoothBlock(n, complete, quant, block.data());
        EXPECT_EQ(block[1], 0);
        EXPECT_EQ(block[2], -3);
    }
}

}  // namespace
}  // namespace Tessera
