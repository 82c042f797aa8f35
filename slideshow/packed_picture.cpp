#include "packed_picture.h"

#include "image/raster_image.h"

namespace Miruton {

PackedPicture PackPicture(const Tessera::RasterImage& image) {
    PackedPicture picture;
    picture.width = image.Width();
    picture.height = image.Height();
    const std::size_t count = static_cast<std::size_t>(image.Width()) * image.Height();
    picture.pixels.resize(3 * count);
    std::uint8_t* out = picture.pixels.data();
    for (std::size_t k = 0; k < count; ++k) {
        const std::uint32_t pixel = image.Pixels()[k];
        *out++ = static_cast<std::uint8_t>(pixel);        // blue
        *out++ = static_cast<std::uint8_t>(pixel >> 8);   // green
        *out++ = static_cast<std::uint8_t>(pixel >> 16);  // red
    }
    return picture;
}

}  // namespace Miruton
