#include "libjpeg_colour_kernels.h"

#include <algorithm>

namespace Tessera {

namespace {

using namespace LibjpegColour;

// Pixels a chunk: each channel of a chunk in a plane of its own first, plain
// loops over contiguous bytes that compilers turn into vector code, then the
// planes into the layout.
constexpr std::size_t kChunk = 64;

void ColourPlanes(const std::uint8_t* __restrict y, const std::uint8_t* __restrict cb,
                  const std::uint8_t* __restrict cr, std::size_t n, std::uint8_t* __restrict red,
                  std::uint8_t* __restrict green, std::uint8_t* __restrict blue) {
    for (std::size_t j = 0; j < n; ++j) red[j] = Clamp(y[j] + RedTerm(cr[j] - 128));
    for (std::size_t j = 0; j < n; ++j)
        green[j] = Clamp(y[j] + GreenTerm(cb[j] - 128, cr[j] - 128));
    for (std::size_t j = 0; j < n; ++j) blue[j] = Clamp(y[j] + BlueTerm(cb[j] - 128));
}

// Red, green and blue at bytes Red, Green and Blue of pixels of `Bytes`
// bytes (a fourth one is 255).
template <int Red, int Green, int Blue, int Bytes>
void ColourRow(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr,
               std::uint8_t* __restrict out, std::size_t width) {
    std::uint8_t red[kChunk], green[kChunk], blue[kChunk];
    for (std::size_t from = 0; from < width; from += kChunk) {
        const std::size_t n = std::min(kChunk, width - from);
        ColourPlanes(y + from, cb + from, cr + from, n, red, green, blue);
        for (std::size_t j = 0; j < n; ++j, out += Bytes) {
            out[Red] = red[j];
            out[Green] = green[j];
            out[Blue] = blue[j];
            if constexpr (Bytes == 4) out[3] = 255;
        }
    }
}

}  // namespace

LibjpegColourKernels LibjpegColourKernelsPortable() {
    return {ColourRow<0, 1, 2, 3>, ColourRow<2, 1, 0, 3>, ColourRow<0, 1, 2, 4>,
            ColourRow<2, 1, 0, 4>};
}

}  // namespace Tessera
