#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "libjpeg_colour_kernels.h"
#include "simd_level.h"
#include "tessera/jpeg.h"
#include "upsampler.h"

namespace Tessera {

class JpegComponent;

// Rows of the picture by libjpeg's arithmetic (Pixels::Smooth and
// ::Replicated): each component brought to full resolution by the
// up-sampler chosen for it when the frame was read, then converted to
// colours by libjpeg's equations. Set up once per frame, with the kernels of
// the decode; reads the components' samples as they stand at each call.
class RowConverter {
  public:
    struct ComponentSetup {
        const JpegComponent* component = nullptr;
        ComponentPlane plane;
        Upsampler upsampler;
    };

    void SetUp(std::array<ComponentSetup, 4> components, unsigned count, std::size_t width,
               std::size_t height, const DecoderKernels& kernels);
    bool Ready() const { return count != 0; }
    // Whether a row reads the component rows above and below its own.
    bool NeedsNeighbourRows() const;

    // Picture rows [first, last), columns [firstColumn, lastColumn), one row
    // after the other from out, in the layout; false when a component cannot
    // be converted.
    bool Colour(ColourSpace colours, std::size_t first, std::size_t last, std::size_t firstColumn,
                std::size_t lastColumn, PixelFormat format, std::uint8_t* out);
    // The same as BGRA pixels.
    bool Bgra(ColourSpace colours, std::size_t first, std::size_t last, std::size_t firstColumn,
              std::size_t lastColumn, std::uint32_t* out);
    // One byte a pixel: grey pictures as they are, YCbCr ones their Y, RGB
    // and CMYK ones the luma of their colours.
    bool Grey(ColourSpace colours, std::size_t first, std::size_t last, std::size_t firstColumn,
              std::size_t lastColumn, std::uint8_t* out);
    // Four bytes a pixel: C, M, Y, K (see PixelFormat::Cmyk).
    bool Inks(ColourSpace colours, std::size_t first, std::size_t last, std::size_t firstColumn,
              std::size_t lastColumn, std::uint8_t* out);

  private:
    bool Convertible() const;
    template <typename Layout>
    void ColourRows(ColourSpace colours, std::size_t first, std::size_t last,
                    std::size_t firstColumn, std::size_t lastColumn, std::uint8_t* out);
    // The full-resolution rows of every component for picture row y.
    void Gather(std::size_t y, std::size_t firstColumn, std::size_t lastColumn);

    std::array<ComponentSetup, 4> components{};
    unsigned count = 0;
    std::size_t width = 0;
    std::size_t height = 0;
    UpsampleKernels upsampleKernels{};
    LibjpegColourKernels colourKernels{};
    // Grey made colour is the same bytes in either kind of pixels: the
    // saver's row kernels, by layout.
    std::array<GreyRowKernel, kColourLayouts> greyKernels{};
    std::array<UpsamplerScratch, 4> scratch;
    std::array<const std::uint8_t*, 4> rows{};
};

}  // namespace Tessera
