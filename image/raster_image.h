#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace Tessera {

// Returns a block of pixels to the memory it came from.
struct PixelBlockDeleter {
    std::size_t bytes = 0;
    void operator()(std::uint32_t* block) const;
};

// A decoded picture: width × height 32-bit pixels, row-major from the top row,
// each pixel the bytes blue, green, red, alpha in memory (the byte order of a
// Windows bitmap, which the slideshow relies on).
class RasterImage {
  public:
    using PixelBlock = std::unique_ptr<std::uint32_t[], PixelBlockDeleter>;

    RasterImage() = default;
    RasterImage(const RasterImage&) = delete;
    RasterImage& operator=(const RasterImage&) = delete;
    virtual ~RasterImage() = default;

    // Releases any pixels first, then allocates width × height pixels, all 0.
    void SetSize(int width, int height);
    void Clear();

    // For a decoder that writes the pixels itself. TakePixels clears the
    // image as Clear does but hands its block over instead of releasing it;
    // SetSizeReusing then sizes the image as SetSize does, except that a
    // spare block of exactly the size needed is taken as it is, old pixels
    // and all, which saves the system zeroing fresh memory for pictures of
    // one size in a row. It returns whether the pixels are zero.
    PixelBlock TakePixels();
    bool SetSizeReusing(int width, int height, PixelBlock& spare);

    int Width() const { return width; }
    int Height() const { return height; }
    // width × height as of the last SetSize; Clear leaves it alone.
    int PixelCount() const { return pixelCount; }
    std::uint32_t* Pixels() { return pixels.get(); }
    const std::uint32_t* Pixels() const { return pixels.get(); }

  private:
    int width = 0;
    int height = 0;
    int pixelCount = 0;
    PixelBlock pixels;
};

}  // namespace Tessera
