// Every kernel level this CPU supports against the portable kernels, which the
// exact-value tests of inverse_dct_test.cpp and colour_conversion_test.cpp pin.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "jpeg/accurate_inverse_dct.h"
#include "jpeg/memory_stream.h"
#include "jpeg/quant_table.h"
#include "jpeg/simd_level.h"
#include "tests/unit/simd_test_levels.h"

namespace Tessera {

// Names the levels in the messages of parameterized tests.
void PrintTo(SimdLevel level, std::ostream* os) {
    *os << SimdLevelName(level);
}

namespace Testing {
namespace {

TEST(SimdLevel, NamesParseBack) {
    for (SimdLevel level : {SimdLevel::Portable, SimdLevel::Sse2, SimdLevel::Avx2})
        EXPECT_EQ(ParseSimdLevel(SimdLevelName(level)), level) << SimdLevelName(level);
    for (const char* name : {"", "AVX2", "avx", "sse4", "avx2 ", "native"})
        EXPECT_EQ(ParseSimdLevel(name), std::nullopt) << '"' << name << '"';
}

TEST(SimdLevel, SupportedLevelsRiseFromPortableToTheBest) {
    const std::vector<SimdLevel> levels = SupportedSimdLevels();
    ASSERT_FALSE(levels.empty());
    EXPECT_EQ(levels.front(), SimdLevel::Portable);
    EXPECT_EQ(levels.back(), BestSimdLevel());
    for (std::size_t i = 1; i < levels.size(); ++i) EXPECT_LT(levels[i - 1], levels[i]);
#if TESSERA_X86_KERNELS
    if (std::getenv(kSimdLevelVariable) == nullptr) {
        EXPECT_GE(BestSimdLevel(), SimdLevel::Sse2);
    }
#endif
}

// Run by CTest a second time with TESSERA_SIMD=portable (see CMakeLists.txt).
TEST(SimdLevel, TheEnvironmentCapsTheBestLevel) {
    const char* cap = std::getenv(kSimdLevelVariable);
    if (cap == nullptr) GTEST_SKIP() << kSimdLevelVariable << " is not set";
    ASSERT_TRUE(ParseSimdLevel(cap).has_value()) << cap;
    EXPECT_LE(BestSimdLevel(), *ParseSimdLevel(cap));
    EXPECT_EQ(SupportedSimdLevels().back(), BestSimdLevel());
}

TEST(SimdLevel, EachSupportedLevelHasItsOwnKernels) {
    const std::vector<SimdLevel> levels = SupportedSimdLevels();
    for (std::size_t i = 0; i < levels.size(); ++i)
        for (std::size_t j = 0; j < i; ++j) {
            const DecoderKernels a = KernelsFor(levels[i]), b = KernelsFor(levels[j]);
            EXPECT_NE(a.inverseDct, b.inverseDct);
            for (const ColourRowKernels& colour : a.colour)
                for (const ColourRowKernels& other : b.colour) {
                    EXPECT_NE(colour.full, other.full);
                    EXPECT_NE(colour.half, other.half);
                    EXPECT_NE(colour.grey, other.grey);
                    EXPECT_NE(colour.halfPair, other.halfPair);
                }
            EXPECT_NE(a.accurateInverseDct, b.accurateInverseDct);
            EXPECT_NE(a.upsample.widenSums, b.upsample.widenSums);
            EXPECT_NE(a.libjpegColour.rgb, b.libjpegColour.rgb);
        }
    // Asking for more than the CPU has gives the best it has.
    EXPECT_EQ(KernelsFor(SimdLevel::Avx2).inverseDct, KernelsFor(BestSimdLevel()).inverseDct);
    EXPECT_EQ(KernelsFor(SimdLevel::Portable).inverseDct, &InverseDctPortable);
    EXPECT_EQ(KernelsFor(SimdLevel::Portable).accurateInverseDct, &AccurateInverseDctPortable);
}

// The levels above Portable, each compared with Portable.
class Kernels : public ::testing::TestWithParam<SimdLevel> {
  protected:
    const DecoderKernels reference = KernelsFor(SimdLevel::Portable);
    const DecoderKernels tested = KernelsFor(GetParam());
};

GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(Kernels);
INSTANTIATE_TEST_SUITE_P(Levels, Kernels, ::testing::ValuesIn(LevelsAbovePortable()),
                         [](const auto& info) { return std::string(SimdLevelName(info.param)); });

// ---- Inverse DCT ----

using Coefficients = std::array<std::int16_t, 64>;
using Multipliers = std::array<std::int32_t, 64>;

// T.81 Tables K.1 and K.2 (natural order) scaled by percent as encoders
// scale them for quality, 1 to 255.
Multipliers ScaledExampleTable(bool chrominance, int percent) {
    static constexpr std::uint8_t kLuminance[64] = {
        16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
        14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
        18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
        49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
    static constexpr std::uint8_t kChrominance[64] = {
        17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99,
        99, 99, 47, 66, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
        99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};
    std::vector<std::uint8_t> zigzag(64);
    for (int k = 0; k < 64; ++k) {
        const int natural = (chrominance ? kChrominance : kLuminance)[ZigzagToNatural[k]];
        zigzag[k] = static_cast<std::uint8_t>(std::clamp((natural * percent + 50) / 100, 1, 255));
    }
    MemoryStream stream(zigzag);
    QuantTable table;
    table.LoadTable(stream, 0);
    Multipliers m;
    std::copy(table.multipliers.values.begin(), table.multipliers.values.end(), m.begin());
    return m;
}

std::vector<Multipliers> RealTables() {
    std::vector<Multipliers> tables;
    for (int percent : {1, 10, 50, 100, 300, 5000})
        for (bool chrominance : {false, true})
            tables.push_back(ScaledExampleTable(chrominance, percent));
    return tables;
}

// What a kernel takes for a table: the fixed-point transform its multipliers
// split once (as a QuantTable holds them), the others the values.
InverseDctMultipliers KernelTable(const Multipliers& m) {
    return SplitMultipliers(m);
}
template <typename Table>
auto KernelTable(const Table& table) {
    return table.data();
}

// Runs both kernels into canary-filled buffers with the given row stride and
// compares everything, so that a write outside the 8 × 8 block shows too.
// Table: the multipliers of the fixed-point transform or the quantizers of
// the accurate one.
template <typename Kernel, typename Table>
void ExpectSameBlock(Kernel reference, Kernel tested, const Coefficients& c, const Table& m,
                     std::ptrdiff_t stride = 8) {
    const std::ptrdiff_t span = 7 * (stride < 0 ? -stride : stride) + 8;
    std::vector<std::uint8_t> expected(static_cast<std::size_t>(span) + 32, 0xA5);
    std::vector<std::uint8_t> actual = expected;
    const std::ptrdiff_t first = 16 + (stride < 0 ? span - 8 : 0);
    const auto table = KernelTable(m);
    reference(expected.data() + first, stride, c.data(), table);
    tested(actual.data() + first, stride, c.data(), table);
    if (expected == actual) return;
    std::string block;
    for (std::int16_t value : c) block += std::to_string(value) + " ";
    std::string values;
    for (auto value : m) values += std::to_string(value) + " ";
    ADD_FAILURE() << "stride " << stride << ", coefficients " << block << ", table " << values;
}

TEST_P(Kernels, InverseDctOfRandomBlocks) {
    std::mt19937 random(7);
    const std::vector<Multipliers> tables = RealTables();
    struct Kind {
        const char* name;
        int terms;  // nonzero coefficients at random places of the first `spread` zigzag ones
        int spread;
        int magnitude;  // of each term
    };
    const Kind kinds[] = {
        {"dense", 64, 64, 300},    {"typical", 10, 20, 60},       {"sparse", 3, 10, 1000},
        {"low rows", 12, 28, 200}, {"full range", 64, 64, 32768},
    };
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.name);
        std::uniform_int_distribution<int> value(-kind.magnitude, kind.magnitude - 1);
        std::uniform_int_distribution<int> place(0, kind.spread - 1);
        for (int trial = 0; trial < 4000; ++trial) {
            Coefficients c{};
            c[0] = static_cast<std::int16_t>(value(random));
            for (int i = 0; i < kind.terms; ++i)
                c[ZigzagToNatural[place(random)]] = static_cast<std::int16_t>(value(random));
            ExpectSameBlock(reference.inverseDct, tested.inverseDct, c,
                            tables[trial % tables.size()]);
        }
    }
}

TEST_P(Kernels, InverseDctOfDcOnlyBlocks) {
    const std::vector<Multipliers> tables = RealTables();
    for (int dc = -32768; dc < 32768; dc += 7) {
        Coefficients c{};
        c[0] = static_cast<std::int16_t>(dc);
        const Multipliers& m = tables[static_cast<unsigned>(dc) % tables.size()];
        ExpectSameBlock(reference.inverseDct, tested.inverseDct, c, m);
    }
}

// Each basis function alone, small and extreme, so that each input position's
// path through both passes is checked in isolation.
TEST_P(Kernels, InverseDctOfSingleCoefficientBlocks) {
    const Multipliers table = ScaledExampleTable(false, 50);
    for (int position = 0; position < 64; ++position)
        for (int value : {-32768, -1000, -3, -1, 1, 2, 5, 127, 1000, 32767}) {
            Coefficients c{};
            c[position] = static_cast<std::int16_t>(value);
            ExpectSameBlock(reference.inverseDct, tested.inverseDct, c, table);
        }
}

// Products beyond 32 bits and sums beyond them wrap; every kernel wraps alike,
// whatever the multipliers (real ones stay below 2^21, any int32 is accepted).
TEST_P(Kernels, InverseDctWrapsAlike) {
    std::mt19937 random(11);
    std::uniform_int_distribution<int> anyCoefficient(-32768, 32767);
    std::uniform_int_distribution<std::int32_t> realSized(0, (1 << 21) - 1);
    std::uniform_int_distribution<std::int32_t> anyMultiplier(
        std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max());
    for (int trial = 0; trial < 6000; ++trial) {
        Coefficients c;
        for (auto& value : c) {
            const int pick = anyCoefficient(random);
            // Mostly the extremes, which wrap soonest.
            value = static_cast<std::int16_t>(pick % 3 == 0 ? pick : pick < 0 ? -32768 : 32767);
        }
        Multipliers m;
        for (auto& value : m) value = trial % 2 ? realSized(random) : anyMultiplier(random);
        ExpectSameBlock(reference.inverseDct, tested.inverseDct, c, m);
    }
}

TEST_P(Kernels, InverseDctWritesRowsAtTheStride) {
    std::mt19937 random(3);
    std::uniform_int_distribution<int> value(-200, 200);
    const Multipliers table = ScaledExampleTable(true, 80);
    for (std::ptrdiff_t stride : {8, 9, 15, 24, 1000, -8, -40}) {
        for (int trial = 0; trial < 50; ++trial) {
            Coefficients c;
            for (auto& v : c) v = static_cast<std::int16_t>(value(random));
            ExpectSameBlock(reference.inverseDct, tested.inverseDct, c, table, stride);
        }
        Coefficients dcOnly{};
        dcOnly[0] = 21;
        ExpectSameBlock(reference.inverseDct, tested.inverseDct, dcOnly, table, stride);
    }
}

// ---- Accurate inverse DCT ----

using Quantizers = std::array<std::uint16_t, 64>;

// Blocks of one kind: their coefficients and quantizers, drawn at random.
struct AccurateBlockKind {
    const char* name;
    int coefficientRange;  // values in [-range, range - 1]
    int quantizerRange;    // quantizers in [1, range]
    int nonzero;           // coefficients drawn, at random natural positions below `spread`
    int spread;
    bool keepLowerRowsZero;  // rows 1-7 zero: the column pass's shortcut
};

// Real files (8-bit tables, coefficients near the DC) and absurd ones (16-bit
// products that wrap, sums that saturate between and after the passes).
constexpr AccurateBlockKind kAccurateBlockKinds[] = {
    {"typical", 200, 100, 10, 24, false},
    {"dense", 600, 255, 64, 64, false},
    {"DC only", 32768, 65535, 0, 1, false},
    {"first row only", 2048, 255, 8, 8, true},
    {"first row only, extreme", 32768, 65535, 8, 8, true},
    {"16-bit quantizers", 2048, 65535, 20, 64, false},
    {"extreme", 32768, 65535, 64, 64, false},
};

// The pair kernel against the reference's one-block kernel on each block.
void ExpectSamePair(AccurateInverseDctKernel reference, AccurateInverseDctPairKernel tested,
                    const Coefficients& left, const Coefficients& right, const Quantizers& q,
                    std::ptrdiff_t stride) {
    const std::ptrdiff_t span = 7 * (stride < 0 ? -stride : stride) + 16;
    std::vector<std::uint8_t> expected(static_cast<std::size_t>(span) + 32, 0xA5);
    std::vector<std::uint8_t> actual = expected;
    const std::ptrdiff_t first = 16 + (stride < 0 ? span - 16 : 0);
    reference(expected.data() + first, stride, left.data(), q.data());
    reference(expected.data() + first + 8, stride, right.data(), q.data());
    tested(actual.data() + first, stride, left.data(), right.data(), q.data());
    if (expected == actual) return;
    std::string blocks;
    for (const Coefficients* c : {&left, &right}) {
        for (std::int16_t value : *c) blocks += std::to_string(value) + " ";
        blocks += "| ";
    }
    ADD_FAILURE() << "stride " << stride << ", coefficients " << blocks;
}

// Each block alone, and beside one drawn before (of any kind) through the
// kernel that transforms two at once.
TEST_P(Kernels, AccurateInverseDctOfEveryBlockKind) {
    std::mt19937 random(17);
    std::vector<Coefficients> drawn;
    for (const AccurateBlockKind& kind : kAccurateBlockKinds) {
        SCOPED_TRACE(kind.name);
        std::uniform_int_distribution<int> value(-kind.coefficientRange, kind.coefficientRange - 1);
        std::uniform_int_distribution<int> extreme(0, 3);
        std::uniform_int_distribution<int> quantizer(1, kind.quantizerRange);
        std::uniform_int_distribution<int> place(0, kind.spread - 1);
        for (int trial = 0; trial < 3000; ++trial) {
            Coefficients c{};
            auto draw = [&] {
                // A quarter of the draws at the extremes of the range.
                const int pick = extreme(random);
                return static_cast<std::int16_t>(pick == 0   ? -kind.coefficientRange
                                                 : pick == 1 ? kind.coefficientRange - 1
                                                             : value(random));
            };
            c[0] = draw();
            for (int i = 0; i < kind.nonzero; ++i) c[place(random)] = draw();
            if (kind.keepLowerRowsZero) std::fill(c.begin() + 8, c.end(), 0);
            Quantizers q;
            for (auto& v : q) v = static_cast<std::uint16_t>(quantizer(random));
            const std::ptrdiff_t stride = trial % 3 == 0 ? -24 : trial % 3 == 1 ? 8 : 13;
            ExpectSameBlock(reference.accurateInverseDct, tested.accurateInverseDct, c, q, stride);
            drawn.push_back(c);
            const Coefficients& partner =
                drawn[std::uniform_int_distribution<std::size_t>(0, drawn.size() - 1)(random)];
            const std::ptrdiff_t pairStride = 2 * stride + (stride > 0 ? 3 : -5);
            ExpectSamePair(reference.accurateInverseDct, tested.accurateInverseDctPair, c, partner,
                           q, pairStride);
            ExpectSamePair(reference.accurateInverseDct, tested.accurateInverseDctPair, partner, c,
                           q, pairStride);
        }
    }
}

// ---- Colour rows ----

constexpr ColourLayout kLayouts[] = {ColourLayout::Bgra, ColourLayout::Rgba, ColourLayout::Bgr,
                                     ColourLayout::Rgb};
constexpr const char* kLayoutNames[] = {"BGRA", "RGBA", "BGR", "RGB"};

const ColourRowKernels& Of(const DecoderKernels& kernels, ColourLayout layout) {
    return kernels.colour[static_cast<std::size_t>(layout)];
}

// A row's samples, each exactly as long as pixels first .. last − 1 read, so
// that the address sanitizer sees any read past them.
struct RowInputs {
    std::vector<std::uint8_t> y, cb, cr, y1;  // y1: the second row of a pair
};

enum class RowKind { FullChroma, HalfChroma, Grey, HalfChromaPair };
constexpr RowKind kRowKinds[] = {RowKind::FullChroma, RowKind::HalfChroma, RowKind::Grey,
                                 RowKind::HalfChromaPair};
constexpr const char* kRowKindNames[] = {"full chroma", "half chroma", "grey",
                                         "two rows of half chroma"};

// Runs one kernel of both levels over pixels first .. last − 1 into buffers
// with guard bytes on both sides, and compares everything.
::testing::AssertionResult SameRow(const ColourRowKernels& reference,
                                   const ColourRowKernels& tested, RowKind kind,
                                   ColourLayout layout, const RowInputs& in, std::size_t first,
                                   std::size_t last) {
    constexpr std::size_t kGuard = 16;
    const std::size_t bytes = kLayoutBytes[static_cast<std::size_t>(layout)] * (last - first);
    // A pair's second row follows the first after another guard.
    std::vector<std::uint8_t> expected(2 * bytes + 3 * kGuard, 0x5A), actual = expected;
    auto run = [&](const ColourRowKernels& kernels, std::uint8_t* out) {
        if (kind == RowKind::Grey)
            kernels.grey(in.y.data(), out, first, last);
        else if (kind == RowKind::HalfChromaPair)
            kernels.halfPair(in.y.data(), in.y1.data(), in.cb.data(), in.cr.data(), out,
                             out + bytes + kGuard, first, last);
        else
            (kind == RowKind::HalfChroma ? kernels.half : kernels.full)(
                in.y.data(), in.cb.data(), in.cr.data(), out, first, last);
    };
    run(reference, expected.data() + kGuard);
    run(tested, actual.data() + kGuard);
    if (expected == actual) return ::testing::AssertionSuccess();
    const auto at = std::mismatch(expected.begin(), expected.end(), actual.begin());
    const auto offset = static_cast<std::ptrdiff_t>(at.first - expected.begin()) -
                        static_cast<std::ptrdiff_t>(kGuard);
    return ::testing::AssertionFailure()
           << kRowKindNames[static_cast<int>(kind)] << ", "
           << kLayoutNames[static_cast<int>(layout)] << ", pixels " << first << " .. " << last
           << ": byte " << offset << " is " << int{*at.second} << ", expected " << int{*at.first};
}

// Every layout, every kind of row, at widths around the vector steps (16
// and 32 pixels) and from first columns odd and even, on random samples.
TEST_P(Kernels, ColourRowsInEveryLayoutAndWidth) {
    constexpr std::size_t kFirsts[] = {0, 1, 2, 3, 15, 16, 17, 31, 33};
    constexpr std::size_t kWidths[] = {1, 2, 3, 15, 16, 17, 31, 32, 33, 47, 63, 64, 65, 100};
    std::mt19937 random(29);
    std::uniform_int_distribution<int> sample(0, 255);
    auto fill = [&](std::size_t n) {
        std::vector<std::uint8_t> v(n);
        for (auto& s : v) s = static_cast<std::uint8_t>(sample(random));
        return v;
    };
    for (const ColourLayout layout : kLayouts)
        for (const RowKind kind : kRowKinds)
            for (const std::size_t first : kFirsts)
                for (const std::size_t width : kWidths)
                    for (int trial = 0; trial < 3; ++trial) {
                        const std::size_t last = first + width;
                        const bool pair = kind == RowKind::HalfChromaPair;
                        const std::size_t chroma = kind == RowKind::FullChroma ? last
                                                   : kind == RowKind::Grey     ? 0
                                                                               : (last + 1) / 2;
                        const RowInputs in{fill(last), fill(chroma), fill(chroma),
                                           fill(pair ? last : 0)};
                        ASSERT_TRUE(SameRow(Of(reference, layout), Of(tested, layout), kind, layout,
                                            in, first, last));
                    }
}

// All 2^24 (y, cb, cr) triples: row (a, b) has y = j at pixel j and its chroma
// sample i = (a + i, b + 3i) mod 256, so that chroma changes along the row
// (a lane mix-up shows) and every pixel position meets every chroma pair. The
// arithmetic is the same for every layout; the BGRA kernels carry it.
TEST_P(Kernels, YCbCrRowsOfEveryTriple) {
    for (const RowKind kind : {RowKind::FullChroma, RowKind::HalfChroma}) {
        RowInputs in{std::vector<std::uint8_t>(256), {}, {}, {}};
        for (int j = 0; j < 256; ++j) in.y[j] = static_cast<std::uint8_t>(j);
        in.cb.resize(kind == RowKind::HalfChroma ? 128 : 256);
        in.cr.resize(in.cb.size());
        for (int a = 0; a < 256; ++a)
            for (int b = 0; b < 256; ++b) {
                for (std::size_t i = 0; i < in.cb.size(); ++i) {
                    in.cb[i] = static_cast<std::uint8_t>(a + i);
                    in.cr[i] = static_cast<std::uint8_t>(b + 3 * i);
                }
                ASSERT_TRUE(SameRow(Of(reference, ColourLayout::Bgra),
                                    Of(tested, ColourLayout::Bgra), kind, ColourLayout::Bgra, in, 0,
                                    256))
                    << "a " << a << ", b " << b;
            }
    }
}

// Pixels worked out by hand from the equations, through every level and
// layout.
// ---- Zigzag order ----

TEST_P(Kernels, ZigzagToNaturalMovesEveryCoefficient) {
    std::mt19937 random(11);
    std::uniform_int_distribution<int> value(-32768, 32767);
    for (int trial = 0; trial < 1000; ++trial) {
        Coefficients zigzag{}, natural{};
        for (auto& c : zigzag) c = static_cast<std::int16_t>(value(random));
        const auto dc = static_cast<std::int16_t>(value(random));
        tested.zigzagToNatural(zigzag.data(), dc, natural.data());
        ASSERT_EQ(natural[0], dc);
        for (int n = 1; n < 64; ++n) ASSERT_EQ(natural[n], zigzag[NaturalToZigzag[n]]) << n;
    }
}

TEST(ColourKernels, KnownPixelsAtEveryLevel) {
    struct Case {
        std::uint8_t y, cb, cr;
        std::array<std::uint8_t, 3> bgr;
    };
    const Case cases[] = {
        {128, 128, 128, {128, 128, 128}},
        {76, 85, 255, {0, 0, 254}},
        {150, 44, 21, {1, 255, 0}},
        {29, 255, 107, {254, 0, 0}},
        {0, 0, 0, {0, 135, 0}},
        {255, 255, 255, {255, 121, 255}},
        {100, 200, 50, {228, 131, 0}},
        {200, 128, 3, {200, 255, 25}},
        {60, 128, 253, {60, 0, 235}},
        // 1.772 · ±125 = ±221.5 rounds away from zero.
        {20, 253, 128, {242, 0, 20}},
        {240, 3, 128, {18, 255, 240}},
    };
    // Each layout's bytes as positions in (blue, green, red); 3: alpha, 255.
    const std::vector<int> orders[] = {{0, 1, 2, 3}, {2, 1, 0, 3}, {0, 1, 2}, {2, 1, 0}};
    for (SimdLevel level : SupportedSimdLevels())
        for (const ColourLayout layout : kLayouts) {
            const std::vector<int>& order = orders[static_cast<std::size_t>(layout)];
            const YCbCrRowKernel kernel = Of(KernelsFor(level), layout).full;
            for (const Case& c : cases) {
                // A row long enough for the vector loops, the case at its end.
                const std::size_t width = 71;
                std::vector<std::uint8_t> y(width, 90), cb(width, 30), cr(width, 220);
                y.back() = c.y;
                cb.back() = c.cb;
                cr.back() = c.cr;
                std::vector<std::uint8_t> out(width * order.size());
                kernel(y.data(), cb.data(), cr.data(), out.data(), 0, width);
                std::vector<std::uint8_t> expected;
                for (const int from : order) expected.push_back(from < 3 ? c.bgr[from] : 255);
                EXPECT_EQ(std::vector<std::uint8_t>(out.end() - std::ssize(order), out.end()),
                          expected)
                    << SimdLevelName(level) << " " << kLayoutNames[static_cast<int>(layout)] << " "
                    << int{c.y} << "," << int{c.cb} << "," << int{c.cr};
            }
        }
}

}  // namespace
}  // namespace Testing
}  // namespace Tessera
