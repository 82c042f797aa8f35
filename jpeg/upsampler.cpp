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
// sums[i] holds sum(i) for i in [first / 2, ⌈last / 2⌉) and, where they
// exist, the neighbours on either side. The interior, where every output has
// both neighbours, goes to the kernel.
template <int Shift, int EvenBias, int OddBias, typename Sum, typename Interior>
void DoubleWidth(const Sum* sums, std::size_t width, std::size_t first, std::size_t last,
                 Interior interior, std::uint8_t* out) {
    std::size_t i = first / 2;
    const std::size_t end = (last + 1) / 2;
    const auto even = [&](int here, int left) {
        return static_cast<std::uint8_t>((3 * here + left + EvenBias) >> Shift);
    };
    const auto odd = [&](int here, int right) {
        return static_cast<std::uint8_t>((3 * here + right + OddBias) >> Shift);
    };
    if (i == 0 && i < end) {
        out[0] = even(sums[0], sums[0]);
        out[1] = odd(sums[0], width > 1 ? sums[1] : sums[0]);
        ++i;
    }
    const std::size_t interiorEnd = std::max(i, std::min(end, width - 1));
    interior(sums, i, interiorEnd, out);
    for (i = interiorEnd; i < end; ++i) {  // the last input sample
        out[2 * i] = even(sums[i], sums[i - 1]);
        out[2 * i + 1] = odd(sums[i], sums[i]);
    }
}

}  // namespace

const std::uint8_t* Upsampler::Row(const ComponentPlane& plane, std::size_t y, std::size_t first,
                                   std::size_t last, UpsamplerScratch& scratch,
                                   const UpsampleKernels& kernels) const {
    std::uint8_t* out = scratch.row.data();
    switch (kind) {
        case Kind::Same:
            return plane.Row(y);
        case Kind::Repeat: {
            // Any whole or fractional factor: output (x, y) takes the input
            // sample whose area covers it.
            const std::uint8_t* in = plane.Row(y * inV / outV);
            if (inH == outH) return in;
            if (2 * inH == outH)
                kernels.doubleSamples(in, first, last, out);
            else
                for (std::size_t x = first; x < last; ++x) out[x] = in[x * inH / outH];
            return out;
        }
        case Kind::SmoothH2V1:
            DoubleWidth<2, 1, 2>(plane.Row(y), plane.Width(), first, last, kernels.widenSamples,
                                 out);
            return out;
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
        kernels.tallRow(near, far, first, last, lower, out);
        return out;
    }
    // Column sums over the inputs the outputs read: one more on each side.
    const std::size_t from = first / 2 == 0 ? 0 : first / 2 - 1;
    const std::size_t to = std::min(plane.Width(), (last + 1) / 2 + 1);
    std::uint16_t* sums = scratch.sums.data();
    kernels.columnSums(near, far, from, to, sums);
    DoubleWidth<4, 8, 7>(sums, plane.Width(), first, last, kernels.widenSums, out);
    return out;
}

}  // namespace Tessera
