#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "upsample_kernels.h"

namespace Tessera {

class JpegComponent;

// One component's samples as an up-sampler reads them: `width` × `height`
// real samples (the component's share of the picture, rounded up; the
// blocks' padding lies beyond), rows below those that scans reached being
// rows of the sample of a block without data.
class ComponentPlane {
  public:
    ComponentPlane() = default;
    ComponentPlane(const JpegComponent& component, std::size_t width, std::size_t height);

    std::size_t Width() const { return width; }
    std::size_t Height() const { return height; }
    // Row r of the plane; rows past the last real one give the last real one
    // (the picture's edge is repeated, as the smooth filters want it).
    const std::uint8_t* Row(std::size_t r) const;

  private:
    const JpegComponent* component = nullptr;
    std::size_t width = 0;
    std::size_t height = 0;
    mutable std::vector<std::uint8_t> unreached;  // made on first use
};

// Brings one component to the picture's resolution, chosen once per
// component when the frame is read, the way libjpeg chooses:
//  - the same resolution: the rows as they are;
//  - twice as wide (and as tall), smoothly: each output sample weighs its
//    own input sample 3/4 and the nearest neighbour 1/4 in each direction
//    (a triangle filter centred between the samples, as JFIF sites chroma),
//    when the component has more than two samples a row;
//  - twice as tall only, smoothly: the same filter vertically;
//  - anything else, or smooth up-sampling not wanted: samples repeated.
// Every smooth filter rounds as libjpeg does: its biases alternate between
// neighbouring outputs, so that no direction is favoured.
// Room an up-sampler works in: an output row, and column sums.
struct UpsamplerScratch {
    void Reserve(std::size_t width) {
        row.assign(width + 2, 0);
        sums.assign(width / 2 + 3, 0);
    }
    std::vector<std::uint8_t> row;
    std::vector<std::uint16_t> sums;
};

class Upsampler {
  public:
    enum class Kind { Same, Repeat, SmoothH2V1, SmoothH1V2, SmoothH2V2 };

    // inH × inV samples of the component make outH × outV pixels (libjpeg's
    // "groups"); smooth: smooth filters allowed.
    static Upsampler Choose(unsigned inH, unsigned inV, unsigned outH, unsigned outV, bool smooth,
                            std::size_t componentWidth);

    Kind GetKind() const { return kind; }
    // Output columns [first, last) of output row y, from the plane. The
    // result is indexed by the output column: either a row of the plane
    // itself or the scratch's row (reserved for the output's width). The
    // filters' inner loops run in the kernels.
    const std::uint8_t* Row(const ComponentPlane& plane, std::size_t y, std::size_t first,
                            std::size_t last, UpsamplerScratch& scratch,
                            const UpsampleKernels& kernels) const;
    // Whether output rows read the plane rows above and below their own.
    bool NeedsNeighbourRows() const { return kind == Kind::SmoothH1V2 || kind == Kind::SmoothH2V2; }

  private:
    Kind kind = Kind::Same;
    unsigned inH = 1, inV = 1, outH = 1, outV = 1;
};

}  // namespace Tessera
