#include "raster_image.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace Tessera {

void RasterImage::SetSize(int newWidth, int newHeight) {
    width = newWidth;
    height = newHeight;
    pixelCount = newWidth * newHeight;
    pixels.reset();  // never hold two blocks at once
    const auto count = static_cast<std::size_t>(std::max(pixelCount, 1));
    // Zeroed memory straight from the allocator: a large block comes as fresh
    // pages that are zero already, so a picture's pixels are not written twice.
    auto* block = static_cast<std::uint32_t*>(std::calloc(count, sizeof(std::uint32_t)));
    if (block == nullptr) throw std::bad_alloc();
    pixels.reset(block);
}

void RasterImage::FreePixels::operator()(std::uint32_t* block) const {
    std::free(block);
}

void RasterImage::Clear() {
    pixels.reset();
    width = 0;
    height = 0;
}

}  // namespace Tessera
