// The colour row kernels with SSE2, 16 pixels a step: the tables'
// entries come from the fixed-point formulas of colour_fixed_point.h in 16-bit
// lanes (the green sum in 32-bit ones), the saturating packs clamp, and the
// tail of a row goes to the portable kernels.

#include "colour_kernels.h"

#if TESSERA_X86_KERNELS

#include <emmintrin.h>

#include <utility>

#include "colour_fixed_point.h"

namespace Tessera {

namespace {

using namespace ColourFixedPoint;

// The table entry for k · 2^8 (k = sample − 128) in each 16-bit lane.
__m128i Scaled(__m128i k256, std::int16_t multiplier) {
    const __m128i product = _mm_mulhi_epi16(k256, _mm_set1_epi16(multiplier));
    return _mm_srai_epi16(_mm_add_epi16(product, _mm_set1_epi16(kScaledHalf)), kScaledShift);
}

// (greenFromCb + greenFromCr + 2^15) >> 16 − k(cr) for four pixels, from the
// (k, fraction) pairs of each table: a multiply-add per table gives the entry
// less 2^16 · k(cr), which the caller adds back after the shift.
__m128i GreenSum(__m128i cbPairs, __m128i crPairs) {
    const __m128i cbFactors = _mm_set1_epi32(1 << 16 | static_cast<std::uint16_t>(kGreenCbWhole));
    const __m128i crFactors = _mm_set1_epi32(1 << 16 | static_cast<std::uint16_t>(-kGreenCrBelow));
    const __m128i sum =
        _mm_add_epi32(_mm_madd_epi16(cbPairs, cbFactors), _mm_madd_epi16(crPairs, crFactors));
    return _mm_srai_epi32(_mm_add_epi32(sum, _mm_set1_epi32(1 << 15)), 16);
}

// What each chroma pair adds to its pixels' luma (green: subtracts), 8 lanes.
struct Chroma {
    __m128i red, green, blue;
};

// From 8 Cb and 8 Cr samples in 16-bit lanes.
Chroma ChromaOf(__m128i cb, __m128i cr) {
    const __m128i centre = _mm_set1_epi16(128);
    const __m128i kb = _mm_sub_epi16(cb, centre), kr = _mm_sub_epi16(cr, centre);
    const __m128i kb256 = _mm_slli_epi16(kb, 8), kr256 = _mm_slli_epi16(kr, 8);
    const __m128i rb = Scaled(kb256, kGreenCbFraction), rr = Scaled(kr256, kGreenCrFraction);
    const __m128i green =
        _mm_packs_epi32(GreenSum(_mm_unpacklo_epi16(kb, rb), _mm_unpacklo_epi16(kr, rr)),
                        GreenSum(_mm_unpackhi_epi16(kb, rb), _mm_unpackhi_epi16(kr, rr)));
    return {Scaled(kr256, kRedFromCr), _mm_add_epi16(green, kr), Scaled(kb256, kBlueFromCb)};
}

// Each chroma lane twice, for pixels 0-7 and 8-15 of chroma at half resolution.
Chroma LowerTwice(const Chroma& c) {
    return {_mm_unpacklo_epi16(c.red, c.red), _mm_unpacklo_epi16(c.green, c.green),
            _mm_unpacklo_epi16(c.blue, c.blue)};
}

Chroma UpperTwice(const Chroma& c) {
    return {_mm_unpackhi_epi16(c.red, c.red), _mm_unpackhi_epi16(c.green, c.green),
            _mm_unpackhi_epi16(c.blue, c.blue)};
}

// 16 pixels' channels, a byte a pixel in pixel order.
struct Planes {
    __m128i blue, green, red;
};

// 16 pixels from their luma (16 bytes) and chroma terms (pixels 0-7, 8-15).
[[gnu::always_inline]] inline Planes YCbCrPlanes(__m128i y, const Chroma& c0, const Chroma& c1) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i y0 = _mm_unpacklo_epi8(y, zero), y1 = _mm_unpackhi_epi8(y, zero);
    return {_mm_packus_epi16(_mm_add_epi16(y0, c0.blue), _mm_add_epi16(y1, c1.blue)),
            _mm_packus_epi16(_mm_sub_epi16(y0, c0.green), _mm_sub_epi16(y1, c1.green)),
            _mm_packus_epi16(_mm_add_epi16(y0, c0.red), _mm_add_epi16(y1, c1.red))};
}

// Four pixels of four bytes as 12 bytes at the bottom of the vector (the
// rest zero), the fourth byte of each dropped: each 64-bit half's two pixels
// close up to six bytes, then the upper six move down beside the lower.
__m128i Packed12(__m128i quad) {
    const __m128i lower = _mm_set1_epi64x(0x0000'0000'00FF'FFFF);
    const __m128i upper = _mm_set1_epi64x(0x0000'FFFF'FF00'0000);
    const __m128i sixes =
        _mm_or_si128(_mm_and_si128(quad, lower), _mm_and_si128(_mm_srli_epi64(quad, 8), upper));
    return _mm_or_si128(_mm_move_epi64(sixes), _mm_slli_si128(_mm_srli_si128(sixes, 8), 6));
}

// 16 pixels in layout L. The four-byte layouts interleave (first, green) and
// (third, alpha) byte pairs, blue or red first by the layout; the three-byte
// ones close those pixels up to 48 bytes.
template <ColourLayout L>
[[gnu::always_inline]] inline void Store(std::uint8_t* out, const Planes& p) {
    constexpr bool redFirst = L == ColourLayout::Rgba || L == ColourLayout::Rgb;
    const __m128i first = redFirst ? p.red : p.blue, third = redFirst ? p.blue : p.red;
    const __m128i alpha = _mm_set1_epi8(-1);
    const __m128i pairs0 = _mm_unpacklo_epi8(first, p.green),
                  pairs1 = _mm_unpackhi_epi8(first, p.green);
    const __m128i ends0 = _mm_unpacklo_epi8(third, alpha), ends1 = _mm_unpackhi_epi8(third, alpha);
    const __m128i quads[4] = {_mm_unpacklo_epi16(pairs0, ends0), _mm_unpackhi_epi16(pairs0, ends0),
                              _mm_unpacklo_epi16(pairs1, ends1), _mm_unpackhi_epi16(pairs1, ends1)};
    auto* to = reinterpret_cast<__m128i*>(out);
    if constexpr (kLayoutBytes[static_cast<std::size_t>(L)] == 4) {
        for (int i = 0; i < 4; ++i) _mm_storeu_si128(to + i, quads[i]);
    } else {
        const __m128i a = Packed12(quads[0]), b = Packed12(quads[1]), c = Packed12(quads[2]),
                      d = Packed12(quads[3]);
        _mm_storeu_si128(to, _mm_or_si128(a, _mm_slli_si128(b, 12)));
        _mm_storeu_si128(to + 1, _mm_or_si128(_mm_srli_si128(b, 4), _mm_slli_si128(c, 8)));
        _mm_storeu_si128(to + 2, _mm_or_si128(_mm_srli_si128(c, 8), _mm_slli_si128(d, 4)));
    }
}

__m128i Load16(const std::uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

__m128i Load8(const std::uint8_t* p) {
    return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)),
                             _mm_setzero_si128());
}

template <ColourLayout L>
constexpr std::size_t kBytes = kLayoutBytes[static_cast<std::size_t>(L)];

template <ColourLayout L>
const ColourRowKernels& Portable() {
    return kColourKernelsPortable[static_cast<std::size_t>(L)];
}

template <ColourLayout L>
void YCbCrRow(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr,
              std::uint8_t* out, std::size_t first, std::size_t last) {
    std::size_t j = first;
    for (; j + 16 <= last; j += 16, out += 16 * kBytes<L>)
        Store<L>(out, YCbCrPlanes(Load16(y + j), ChromaOf(Load8(cb + j), Load8(cr + j)),
                                  ChromaOf(Load8(cb + j + 8), Load8(cr + j + 8))));
    Portable<L>().full(y, cb, cr, out, j, last);
}

// Rows of pixels that share one row of half-resolution chroma: its terms
// are worked out once for all of them.
template <ColourLayout L, int kRows>
void HalfChromaRows(const std::uint8_t* const (&y)[kRows], const std::uint8_t* cb,
                    const std::uint8_t* cr, std::uint8_t* (&out)[kRows], std::size_t first,
                    std::size_t last) {
    std::size_t j = first;
    const auto rest = [&](std::size_t end) {
        for (int r = 0; r < kRows; ++r) Portable<L>().half(y[r], cb, cr, out[r], j, end);
    };
    // An odd first pixel shares its chroma with the pixel before it.
    if (j % 2 != 0 && j < last) {
        rest(j + 1);
        ++j;
        for (std::uint8_t*& row : out) row += kBytes<L>;
    }
    for (; j + 16 <= last; j += 16) {
        const Chroma c = ChromaOf(Load8(cb + j / 2), Load8(cr + j / 2));
        const Chroma lower = LowerTwice(c), upper = UpperTwice(c);
        for (int r = 0; r < kRows; ++r) {
            Store<L>(out[r], YCbCrPlanes(Load16(y[r] + j), lower, upper));
            out[r] += 16 * kBytes<L>;
        }
    }
    rest(last);
}

template <ColourLayout L>
void YCbCrRowHalf(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr,
                  std::uint8_t* out, std::size_t first, std::size_t last) {
    std::uint8_t* outs[] = {out};
    HalfChromaRows<L, 1>({y}, cb, cr, outs, first, last);
}

template <ColourLayout L>
void YCbCrRowPairHalf(const std::uint8_t* y0, const std::uint8_t* y1, const std::uint8_t* cb,
                      const std::uint8_t* cr, std::uint8_t* out0, std::uint8_t* out1,
                      std::size_t first, std::size_t last) {
    std::uint8_t* outs[] = {out0, out1};
    HalfChromaRows<L, 2>({y0, y1}, cb, cr, outs, first, last);
}

template <ColourLayout L>
void GreyRow(const std::uint8_t* grey, std::uint8_t* out, std::size_t first, std::size_t last) {
    std::size_t j = first;
    for (; j + 16 <= last; j += 16, out += 16 * kBytes<L>) {
        const __m128i g = Load16(grey + j);
        Store<L>(out, {g, g, g});
    }
    Portable<L>().grey(grey, out, j, last);
}

template <std::size_t... Layout>
constexpr ColourKernelSet KernelSet(std::index_sequence<Layout...>) {
    return {ColourRowKernels{YCbCrRow<static_cast<ColourLayout>(Layout)>,
                             YCbCrRowHalf<static_cast<ColourLayout>(Layout)>,
                             GreyRow<static_cast<ColourLayout>(Layout)>,
                             YCbCrRowPairHalf<static_cast<ColourLayout>(Layout)>}...};
}

}  // namespace

constinit const ColourKernelSet kColourKernelsSse2 =
    KernelSet(std::make_index_sequence<kColourLayouts>());

}  // namespace Tessera

#endif
