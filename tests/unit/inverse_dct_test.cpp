#include "jpeg/inverse_dct.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "jpeg/quant_table.h"
#include "stream_builder.h"

namespace Tessera::Testing {
namespace {

// Coefficients in natural order, c[8u + v].
using Coefficients = std::array<std::int16_t, 64>;

// The 64 samples of one block, row-major.
struct Samples {
    std::array<std::uint8_t, 64> samples;
};

Samples Transform(const Coefficients& c, const QuantTable& table, std::uint8_t before = 0x5A) {
    Samples block;
    block.samples.fill(before);
    InverseDctPortable(block.samples.data(), 8, c.data(), table.multipliers);
    return block;
}

TEST(InverseDct, DcOnlyBlocksAreFlat) {
    struct Case {
        std::uint8_t quant;
        std::int16_t dc;
        int sample;
    };
    const Case cases[] = {
        {8, 0, 128},   {16, 8, 144},  {8, -128, 0}, {8, -129, 0},
        {8, 127, 255}, {8, 128, 255}, {8, 1, 129},  {8, -1, 127},
    };
    for (const Case& c : cases) {
        Coefficients coefficients{};
        coefficients[0] = c.dc;
        const Samples block = Transform(coefficients, UniformQuantTable(c.quant));
        for (int i = 0; i < 64; ++i)
            ASSERT_EQ(block.samples[i], c.sample) << "q=" << int{c.quant} << " dc=" << c.dc;
    }
}

TEST(InverseDct, RowsAndColumnsAreNotInterchangeable) {
    Coefficients c{};
    c[0] = 20;
    c[1] = -5;  // row 0, column 1: horizontal frequency 1
    c[8] = 3;   // row 1, column 0: vertical frequency 1
    c[9] = 2;
    const Samples block = Transform(c, UniformQuantTable(16));
    const int row0[8] = {170, 171, 173, 175, 177, 180, 181, 182};
    const int row7[8] = {138, 142, 148, 156, 164, 172, 178, 181};
    for (int x = 0; x < 8; ++x) {
        EXPECT_EQ(block.samples[x], row0[x]) << x;
        EXPECT_EQ(block.samples[56 + x], row7[x]) << x;
    }
}

// T.81 A.3.3 in double precision: s(y, x) = 1/4 Σ C(u) C(v) F(u, v)
// cos((2y + 1)uπ/16) cos((2x + 1)vπ/16), C(0) = 1/√2, level-shifted by 128.
std::array<int, 64> ReferenceIdct(const Coefficients& c, int quant) {
    std::array<int, 64> out{};
    const double pi = std::numbers::pi;
    auto scale = [](int k) { return k == 0 ? 1 / std::sqrt(2.0) : 1.0; };
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            double sum = 0;
            for (int u = 0; u < 8; ++u)
                for (int v = 0; v < 8; ++v)
                    sum += scale(u) * scale(v) * c[8 * u + v] * quant *
                           std::cos((2 * y + 1) * u * pi / 16) *
                           std::cos((2 * x + 1) * v * pi / 16);
            const long s = std::lround(sum / 4 + 128);
            out[8 * y + x] = static_cast<int>(s < 0 ? 0 : s > 255 ? 255 : s);
        }
    return out;
}

// The fixed-point transform stays within a few levels of the exact one (its
// rotation constants are truncated to 6 fraction bits, up to 2 % off), whichever
// rows and columns carry the coefficients; a transposed or mis-signed term
// would be off by tens.
TEST(InverseDct, CloseToTheExactTransform) {
    std::mt19937 random(20240601);
    std::uniform_int_distribution<int> value(-24, 24);
    std::uniform_int_distribution<int> position(0, 63);
    for (int trial = 0; trial < 1000; ++trial) {
        Coefficients c{};
        c[0] = static_cast<std::int16_t>(value(random));
        const int terms = trial % 12;
        for (int i = 0; i < terms; ++i)
            c[position(random)] = static_cast<std::int16_t>(value(random) / 3);
        const int quant = 1 + trial % 16;
        const Samples block = Transform(c, UniformQuantTable(static_cast<std::uint8_t>(quant)));
        const std::array<int, 64> expected = ReferenceIdct(c, quant);
        for (int i = 0; i < 64; ++i)
            ASSERT_NEAR(block.samples[i], expected[i], 5) << "trial " << trial << " sample " << i;
    }
}

TEST(InverseDct, SingleRowDcTermsMatchTheFullKernel) {
    // A row that holds only its DC term, below a row that goes through the
    // kernel: the shortcut must give the same vertical structure.
    for (int u = 1; u < 8; ++u) {
        Coefficients c{};
        c[8 * u] = 16;
        const Samples block = Transform(c, UniformQuantTable(4));
        const std::array<int, 64> expected = ReferenceIdct(c, 4);
        for (int i = 0; i < 64; ++i) ASSERT_NEAR(block.samples[i], expected[i], 1) << u;
        for (int y = 0; y < 8; ++y)
            for (int x = 1; x < 8; ++x) EXPECT_EQ(block.samples[8 * y + x], block.samples[8 * y]);
    }
}

// Far beyond what 8-bit samples produce, the 32-bit arithmetic wraps; the
// transform must still finish and write all 64 samples.
TEST(InverseDct, HugeCoefficientsStillWriteEverySample) {
    Coefficients c;
    c.fill(32767);
    c[9] = -32768;
    const QuantTable table = UniformQuantTable(255);
    EXPECT_EQ(Transform(c, table, 0x00).samples, Transform(c, table, 0xFF).samples);
}

// The stride-based kernel writes the block's rows at the stride and nothing
// between or around them.
TEST(InverseDct, RowsAtAnyStride) {
    std::mt19937 random(99);
    std::uniform_int_distribution<int> value(-40, 40);
    const QuantTable table = UniformQuantTable(6);
    for (const std::ptrdiff_t stride : {8, 11, 64, -8, -19}) {
        for (int trial = 0; trial < 20; ++trial) {
            Coefficients c{};
            c[0] = static_cast<std::int16_t>(value(random));
            if (trial % 2 == 1)  // odd trials also have AC terms, even ones are DC-only
                for (int i = 1; i < 64; i += 1 + trial % 5)
                    c[i] = static_cast<std::int16_t>(value(random));
            const Samples block = Transform(c, table);

            const std::ptrdiff_t span = 7 * (stride < 0 ? -stride : stride) + 8;
            std::vector<std::uint8_t> actual(static_cast<std::size_t>(span) + 16, 0xEE);
            std::vector<std::uint8_t> expected = actual;
            const std::ptrdiff_t first = 8 + (stride < 0 ? span - 8 : 0);
            for (int y = 0; y < 8; ++y)
                std::copy_n(block.samples.begin() + 8 * y, 8,
                            expected.begin() + first + y * stride);
            InverseDctPortable(actual.data() + first, stride, c.data(), table.multipliers);
            ASSERT_EQ(actual, expected) << "stride " << stride << ", trial " << trial;
        }
    }
}

}  // namespace
}  // namespace Tessera::Testing
