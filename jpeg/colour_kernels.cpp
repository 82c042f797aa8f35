#include "colour_kernels.h"

#include "colour_conversion.h"

namespace Tessera {

void YCbCrRowPortable(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr,
                      std::uint32_t* out, std::size_t width) {
    for (std::size_t j = 0; j < width; ++j) out[j] = YCbCrPixel(y[j], cb[j], cr[j]);
}

void YCbCrRowHalfPortable(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr,
                          std::uint32_t* out, std::size_t width) {
    // Each chroma pair serves two pixels.
    for (std::size_t j = 0; j < width; ++j) out[j] = YCbCrPixel(y[j], cb[j / 2], cr[j / 2]);
}

void GreyRowPortable(const std::uint8_t* grey, std::uint32_t* out, std::size_t width) {
    for (std::size_t j = 0; j < width; ++j) out[j] = GreyPixel(grey[j]);
}

}  // namespace Tessera
