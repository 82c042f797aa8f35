// The kernels of libjpeg's pixels (smooth up-sampling, YCbCr into each
// layout) at every level this CPU supports against the portable ones, which
// the djpeg comparisons of tests/corpus pin.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "jpeg/simd_level.h"
#include "tests/unit/simd_test_levels.h"

namespace Tessera::Testing {
namespace {

// The levels above Portable, each compared with Portable.
class LibjpegPixelKernels : public ::testing::TestWithParam<SimdLevel> {
  protected:
    const DecoderKernels reference = KernelsFor(SimdLevel::Portable);
    const DecoderKernels tested = KernelsFor(GetParam());
};

GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(LibjpegPixelKernels);
INSTANTIATE_TEST_SUITE_P(Levels, LibjpegPixelKernels, ::testing::ValuesIn(LevelsAbovePortable()),
                         [](const auto& info) { return std::string(SimdLevelName(info.param)); });

// Rows a vector step long, a step and a bit, and around two steps of every
// level, and short ones.
constexpr std::size_t kWidths[] = {1,  2,  3,  4,  7,  8,  9,  15, 16, 17,  31,  32,
                                   33, 47, 48, 49, 63, 64, 65, 95, 97, 100, 129, 257};

// Random samples, a quarter of them 0 or 255 (where the colours clamp).
template <typename Sample = std::uint8_t>
std::vector<Sample> RandomRow(std::mt19937& random, std::size_t n, int top = 255) {
    std::uniform_int_distribution<int> value(0, top), pick(0, 7);
    std::vector<Sample> row(n);
    for (Sample& s : row) {
        const int p = pick(random);
        s = static_cast<Sample>(p == 0 ? 0 : p == 1 ? top : value(random));
    }
    return row;
}

constexpr std::uint8_t kCanary = 0xA5;

// ---- YCbCr into the layouts ----

struct Layout {
    const char* name;
    LibjpegColourKernel LibjpegColourKernels::*kernel;
    std::size_t bytes;
};

constexpr Layout kLayouts[] = {
    {"RGB", &LibjpegColourKernels::rgb, 3},
    {"BGR", &LibjpegColourKernels::bgr, 3},
    {"RGBA", &LibjpegColourKernels::rgba, 4},
    {"BGRA", &LibjpegColourKernels::bgra, 4},
};

// Both kernels over rows that start `skip` samples into exactly sized
// buffers (a crop's odd first column; the address sanitizer sees any read
// past the row), into outputs with canaries after the last pixel.
::testing::AssertionResult SameColours(LibjpegColourKernel expectedKernel,
                                       LibjpegColourKernel testedKernel, std::size_t bytes,
                                       const std::vector<std::uint8_t>& y,
                                       const std::vector<std::uint8_t>& cb,
                                       const std::vector<std::uint8_t>& cr, std::size_t skip) {
    const std::size_t width = y.size() - skip;
    std::vector<std::uint8_t> expected(width * bytes + 64, kCanary), actual = expected;
    expectedKernel(y.data() + skip, cb.data() + skip, cr.data() + skip, expected.data(), width);
    testedKernel(y.data() + skip, cb.data() + skip, cr.data() + skip, actual.data(), width);
    if (expected == actual) return ::testing::AssertionSuccess();
    std::size_t i = 0;
    while (expected[i] == actual[i]) ++i;
    const std::size_t j = i / bytes;
    if (j >= width) return ::testing::AssertionFailure() << "wrote past the row at byte " << i;
    return ::testing::AssertionFailure()
           << "pixel " << j << " (y " << int{y[skip + j]} << ", cb " << int{cb[skip + j]} << ", cr "
           << int{cr[skip + j]} << "), byte " << i % bytes << ": expected " << int{expected[i]}
           << ", got " << int{actual[i]};
}

TEST_P(LibjpegPixelKernels, ColourRowsInEveryLayout) {
    std::mt19937 random(29);
    for (const Layout& layout : kLayouts)
        for (std::size_t width : kWidths)
            for (std::size_t skip : {0, 1, 3})
                for (int trial = 0; trial < 8; ++trial) {
                    const std::size_t n = width + skip;
                    ASSERT_TRUE(SameColours(reference.libjpegColour.*layout.kernel,
                                            tested.libjpegColour.*layout.kernel, layout.bytes,
                                            RandomRow(random, n), RandomRow(random, n),
                                            RandomRow(random, n), skip))
                        << layout.name << ", width " << width << ", from column " << skip;
                }
}

// All 2^24 (y, cb, cr) triples through one layout: row (a, b) has y = j at
// pixel j and cb = a + j, cr = b + 3j (mod 256), so that chroma changes along
// the row (a lane mix-up shows) and every pixel position meets every pair.
TEST_P(LibjpegPixelKernels, ColoursOfEveryTriple) {
    std::vector<std::uint8_t> y(256), cb(256), cr(256);
    for (int a = 0; a < 256; ++a)
        for (int b = 0; b < 256; ++b) {
            for (int j = 0; j < 256; ++j) {
                y[j] = static_cast<std::uint8_t>(j);
                cb[j] = static_cast<std::uint8_t>(a + j);
                cr[j] = static_cast<std::uint8_t>(b + 3 * j);
            }
            ASSERT_TRUE(SameColours(reference.libjpegColour.rgba, tested.libjpegColour.rgba, 4, y,
                                    cb, cr, 0))
                << "a " << a << ", b " << b;
        }
}

// ---- Smooth up-sampling ----

// One row's inputs: the near and far sample rows and column sums.
struct UpsampleInputs {
    std::vector<std::uint8_t> near, far;
    std::vector<std::uint16_t> sums;
};

// Outputs with canaries on both sides of what the kernel may write.
struct UpsampleOutputs {
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint16_t> sums;
    bool operator==(const UpsampleOutputs&) const = default;
};

// A kernel and the column range it may be given in a row of `width` samples.
struct UpsampleCase {
    const char* name;
    std::size_t lowest;                         // the first column it may take
    std::size_t (*highest)(std::size_t width);  // one past the last
    void (*run)(const UpsampleKernels& kernels, const UpsampleInputs& in, std::size_t begin,
                std::size_t end, UpsampleOutputs& out);
};

// The widening kernels read s[begin − 1] to s[end].
std::size_t Interior(std::size_t width) {
    return width - 1;
}
std::size_t Columns(std::size_t width) {
    return width;
}
std::size_t Doubled(std::size_t width) {
    return 2 * width;
}

const UpsampleCase kUpsampleCases[] = {
    {"widen samples", 1, Interior,
     [](const UpsampleKernels& k, const UpsampleInputs& in, std::size_t begin, std::size_t end,
        UpsampleOutputs& out) { k.widenSamples(in.near.data(), begin, end, out.bytes.data()); }},
    {"widen sums", 1, Interior,
     [](const UpsampleKernels& k, const UpsampleInputs& in, std::size_t begin, std::size_t end,
        UpsampleOutputs& out) { k.widenSums(in.sums.data(), begin, end, out.bytes.data()); }},
    {"column sums", 0, Columns,
     [](const UpsampleKernels& k, const UpsampleInputs& in, std::size_t begin, std::size_t end,
        UpsampleOutputs& out) {
         k.columnSums(in.near.data(), in.far.data(), begin, end, out.sums.data());
     }},
    {"upper tall row", 0, Columns,
     [](const UpsampleKernels& k, const UpsampleInputs& in, std::size_t begin, std::size_t end,
        UpsampleOutputs& out) {
         k.tallRow(in.near.data(), in.far.data(), begin, end, false, out.bytes.data());
     }},
    {"lower tall row", 0, Columns,
     [](const UpsampleKernels& k, const UpsampleInputs& in, std::size_t begin, std::size_t end,
        UpsampleOutputs& out) {
         k.tallRow(in.near.data(), in.far.data(), begin, end, true, out.bytes.data());
     }},
    {"double samples", 0, Doubled,
     [](const UpsampleKernels& k, const UpsampleInputs& in, std::size_t begin, std::size_t end,
        UpsampleOutputs& out) { k.doubleSamples(in.near.data(), begin, end, out.bytes.data()); }},
};

// Every column range of interest in rows of every width: from the first
// column the kernel may take (or a crop's later, odd or even one) to the last
// (or one before it).
TEST_P(LibjpegPixelKernels, UpsampleRowsOverEveryRange) {
    std::mt19937 random(31);
    for (const UpsampleCase& c : kUpsampleCases)
        for (std::size_t width : kWidths) {
            // Column sums 3 near + far are at most 1020.
            const UpsampleInputs in{RandomRow(random, width), RandomRow(random, width),
                                    RandomRow<std::uint16_t>(random, width, 1020)};
            const std::size_t highest = c.highest(width);
            for (std::size_t begin : {c.lowest, c.lowest + 1, c.lowest + 2, c.lowest + 7})
                for (std::size_t end : {highest, highest - 1}) {
                    if (highest < c.lowest || end < begin) continue;
                    const UpsampleOutputs blank{std::vector<std::uint8_t>(2 * width + 64, kCanary),
                                                std::vector<std::uint16_t>(width + 32, 0xA5A5)};
                    UpsampleOutputs expected = blank, actual = blank;
                    c.run(reference.upsample, in, begin, end, expected);
                    c.run(tested.upsample, in, begin, end, actual);
                    ASSERT_TRUE(expected == actual)
                        << c.name << ", width " << width << ", columns " << begin << " to " << end;
                }
        }
}

}  // namespace
}  // namespace Tessera::Testing
