#include "raster_image.h"

#include <algorithm>
#include <cstddef>

namespace Tessera {

void RasterImage::SetSize(int newWidth, int newHeight) {
    width = newWidth;
    height = newHeight;
    pixelCount = newWidth * newHeight;
    pixels.reset();  // never hold two blocks at once
    const auto count = static_cast<std::size_t>(std::max(pixelCount, 0));
    pixels = std::make_unique<std::uint32_t[]>(count);  // value-initialised: every pixel 0
}

void RasterImage::Clear() {
    pixels.reset();
    width = 0;
    height = 0;
}

}  // namespace Tessera
