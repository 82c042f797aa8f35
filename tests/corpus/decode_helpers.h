#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "image/raster_image.h"
#include "jpeg/simd_level.h"
#include "netpbm.h"

namespace TesseraTest {

// How a decode ended: cleanly, or with which documented exception and message.
struct DecodeOutcome {
    std::string errorClass;  // "", "JpegBadStream", "JpegError" or "StreamError"
    std::string message;
};

// Decodes with a fresh decoder (with the kernels of the given level, by
// default the processor's best); documented exceptions become the outcome,
// anything else (a crash aside) propagates and fails the test.
DecodeOutcome Decode(const std::vector<std::uint8_t>& bytes, Tessera::RasterImage& image,
                     Tessera::SimdLevel level = Tessera::BestSimdLevel());

// The image as samples of the given channel count (grey takes the blue byte,
// equal to the others in a grey decode).
Picture ToPicture(const Tessera::RasterImage& image, int channels);

// Every .jpg file of the peers' corpus beside the repository, sorted; none
// when it is absent.
std::vector<std::string> SharedJpegFiles();

// How far our samples lie from djpeg's (-dct int -nosmooth) for the same
// file. djpeg's integer transform carries 13 fraction bits in its constants;
// ours carries 6 (C4 = 45/64 for 0.7071, K1 = 34/32 for 1.0824, K3 = 83/32
// for 2.6131), so samples differ by an amount that grows with the block's AC
// energy. Measured over the cjpeg corpus: at most 10 (the noise band of the
// 4x2-sampled scene) and a mean of at most 0.93 per sample (tiny pictures,
// where the edges weigh most); photographs stay within 4 and 0.09. A wrong
// table, zigzag, sampling or colour fault moves samples by tens and the mean
// by several units, far outside these bounds.
struct Difference {
    int maximum = 0;
    double mean = 0;
};
constexpr int kMaximumDifference = 12;
constexpr double kMeanDifference = 1.25;
Difference Compare(const Picture& ours, const Picture& reference);

// djpeg's decode (its defaults, the default pixels' reference) of the bytes, also of a cut-off file
// (which it decodes with a warning); none when djpeg fails. `name` keeps the
// temporary files of concurrent tests apart.
std::optional<Picture> DjpegOf(const std::vector<std::uint8_t>& bytes, const std::string& name);

// FNV-1a, 64 bits, over the image's size and pixel bytes.
std::uint64_t Digest(const Tessera::RasterImage& image);

}  // namespace TesseraTest
