#pragma once

#include <cstdint>
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

// FNV-1a, 64 bits, over the image's size and pixel bytes.
std::uint64_t Digest(const Tessera::RasterImage& image);

}  // namespace TesseraTest
