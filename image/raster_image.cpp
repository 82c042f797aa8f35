#include "raster_image.h"

#include <algorithm>
#include <cstddef>
#include <utility>

#include "zeroed_memory.h"

namespace Tessera {

void RasterImage::SetSize(int newWidth, int newHeight) {
    width = newWidth;
    height = newHeight;
    pixelCount = newWidth * newHeight;
    pixels.reset();  // never hold two blocks at once
    const std::size_t bytes = static_cast<std::size_t>(std::max(pixelCount, 1)) * 4;
    // Zeroed memory straight from the system, so a picture's pixels are not
    // written twice.
    pixels = {static_cast<std::uint32_t*>(AllocateZeroed(bytes)), PixelBlockDeleter{bytes}};
}

void PixelBlockDeleter::operator()(std::uint32_t* block) const {
    FreeZeroed(block, bytes);
}

RasterImage::PixelBlock RasterImage::TakePixels() {
    PixelBlock block = std::move(pixels);
    Clear();
    return block;
}

bool RasterImage::SetSizeReusing(int newWidth, int newHeight, PixelBlock& spare) {
    const std::size_t bytes = static_cast<std::size_t>(std::max(newWidth * newHeight, 1)) * 4;
    if (!spare || spare.get_deleter().bytes != bytes) {
        spare.reset();
        SetSize(newWidth, newHeight);
        return true;
    }
    width = newWidth;
    height = newHeight;
    pixelCount = newWidth * newHeight;
    pixels = std::move(spare);
    return false;
}

void RasterImage::Clear() {
    pixels.reset();
    width = 0;
    height = 0;
}

}  // namespace Tessera
