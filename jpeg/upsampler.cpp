#include "upsampler.h"

#include <algorithm>

#include "jpeg_component.h"

namespace Tessera {

ComponentPlane::ComponentPlane(const JpegComponent& component, std::size_t width,
                               std::size_t height)
    : component(&component), width(width), height(height) {}

const std::uint8_t* ComponentPlane::Row(std::size_t r) const {
    r = std::min(r, height == 0 ? 0 : height - 1);
    if (r < component->ReachedSampleRows()) return component->SampleRow(r);
    if (unreached.empty())
        unreached.assign(component->SampleStride(), component->UnreachedSample());
    return unreached.data();
}

Upsampler Upsampler::Choose(unsigned inH, unsigned inV, unsigned outH, unsigned outV, bool smooth,
                            std::size_t componentWidth) {
    Upsampler u;
    u.inH = inH;
    u.inV = inV;
    u.outH = outH;
    u.outV = outV;
    // The horizontal filters need a left and a right neighbour inside the row.
    const bool wideEnough = componentWidth > 2;
    if (inH == outH && inV == outV) {
        u.kind = Kind::Same;
    } else if (smooth && 2 * inH == outH && inV == outV && wideEnough) {
        u.kind = Kind::SmoothH2V1;
    } else if (smooth && inH == outH && 2 * inV == outV) {
        u.kind = Kind::SmoothH1V2;
    } else if (smooth && 2 * inH == outH && 2 * inV == outV && wideEnough) {
        u.kind = Kind::SmoothH2V2;
    } else {
        u.kind = Kind::Repeat;
    }
    return u;
}

namespace {

// Twice as wide: output 2i weighs sum(i) by 3 and sum(i − 1) by 1, output
// 2i + 1 sum(i) by 3 and sum(i + 1) by 1; the outermost outputs weigh their
// own sum by 4. Each weighted sum is a multiple of 2^shift (4 for samples of
// one row, 16 for column sums 3 × near + far); the biases alternate between
// the two outputs of a pair as libjpeg's do (1 and 2 of 4; 8 and 7 of 16).
template <typename Sum>
void DoubleWidth(Sum sum, std::size_t width, unsigned shift, int evenBias, int oddBias,
                 std::size_t first, std::size_t last, std::uint8_t* out) {
    const std::size_t lastInput = width - 1;
    for (std::size_t i = first / 2; 2 * i < last; ++i) {
        const int here = sum(i);
        const int left = i == 0 ? here : sum(i - 1);
        const int right = i == lastInput ? here : sum(i + 1);
        out[2 * i] = static_cast<std::uint8_t>((3 * here + left + evenBias) >> shift);
        out[2 * i + 1] = static_cast<std::uint8_t>((3 * here + right + oddBias) >> shift);
    }
}

}  // namespace

const std::uint8_t* Upsampler::Row(const ComponentPlane& plane, std::size_t y, std::size_t first,
                                   std::size_t last, std::uint8_t* scratch) const {
    switch (kind) {
        case Kind::Same:
            return plane.Row(y);
        case Kind::Repeat: {
            // Any whole or fractional factor: output (x, y) takes the input
            // sample whose area covers it.
            const std::uint8_t* in = plane.Row(y * inV / outV);
            if (inH == outH) return in;
            for (std::size_t x = first; x < last; ++x) scratch[x] = in[x * inH / outH];
            return scratch;
        }
        case Kind::SmoothH2V1: {
            const std::uint8_t* in = plane.Row(y);
            DoubleWidth([in](std::size_t i) { return int{in[i]}; }, plane.Width(), 2, 1, 2, first,
                        last, scratch);
            return scratch;
        }
        case Kind::SmoothH1V2:
        case Kind::SmoothH2V2:
            break;
    }
    // Twice as tall: output row y weighs its own input row y / 2 by 3 and the
    // nearest other one (above for even y, below for odd y; the picture's
    // edge rows repeated) by 1.
    const std::size_t r = y / 2;
    const bool lower = (y & 1) != 0;
    const std::uint8_t* near = plane.Row(r);
    const std::uint8_t* far = plane.Row(lower ? r + 1 : (r == 0 ? 0 : r - 1));
    if (kind == Kind::SmoothH1V2) {
        const int bias = lower ? 2 : 1;
        for (std::size_t x = first; x < last; ++x)
            scratch[x] = static_cast<std::uint8_t>((3 * near[x] + far[x] + bias) >> 2);
        return scratch;
    }
    DoubleWidth([near, far](std::size_t i) { return 3 * near[i] + far[i]; }, plane.Width(), 4, 8, 7,
                first, last, scratch);
    return scratch;
}

}  // namespace Tessera
