#include "arithmetic_coding_models.h"

#include <bit>

#include "tessera/jpeg.h"

namespace Tessera {

namespace {

// T.81 Table F.4: the DC bins of a context S0 (0, 4, ..., 16): S0 itself
// (is the difference zero), SS (its sign) and SP / SN (is |v| - 1 zero,
// by sign); the magnitude categories X1 .. X15 from 20 and the magnitude
// bits M2 .. M15 14 bins above their category's bin.
constexpr unsigned kDcX1 = 20;
// T.81 Table F.5: three bins per AC index k from 3 (k - 1): SE (end of
// block), S0 (is the coefficient zero), SN / SP / X1 (is |v| - 1 zero, and
// X1); X2 onwards at 189 for k <= Kx and 217 above.
constexpr unsigned kAcBinsPerIndex = 3;
constexpr unsigned kAcX2Low = 189;
constexpr unsigned kAcX2High = 217;
// M of a category lies this far above its X.
constexpr unsigned kMagnitudeBitsOffset = 14;
// Categories stop at 15 bits (T.81 F.1.4.4.1.3: |v| - 1 < 2^15).
constexpr int kMagnitudeLimit = 1 << 15;
// The DC contexts of T.81 F.1.4.4.1.2: zero, small and large differences;
// a negative sign adds 4.
constexpr unsigned kZeroContext = 0;
constexpr unsigned kSmallContext = 4;
constexpr unsigned kLargeContext = 12;
constexpr unsigned kNegativeOffset = 4;

// T.81 Figures F.23 and F.24, after the decision that |v| - 1 is not zero:
// the magnitude category (the position of the leading 1 of |v| - 1), by
// the X bins from `x1` (X2 at `x2`, then on), and the bits below the leading
// 1, by the M bins 14 above the last X bin read. Returns |v|.
template <typename Statistics>
int DecodeMagnitude(ArithmeticDecoder& decoder, Statistics& statistics, unsigned x1, unsigned x2) {
    int m = 1;
    unsigned bin = x1;
    if (decoder.Decode(statistics[bin])) {
        m = 2;
        bin = x2;
        while (decoder.Decode(statistics[bin])) {
            m <<= 1;
            if (m == kMagnitudeLimit) throw JpegBadStream("Data out of range");
            ++bin;
        }
    }
    int magnitude = m;
    bin += kMagnitudeBitsOffset;
    while (m >>= 1)
        if (decoder.Decode(statistics[bin])) magnitude |= m;
    return magnitude + 1;
}

std::int16_t Scaled(int value, unsigned al) {
    return static_cast<std::int16_t>(
        static_cast<std::uint16_t>(static_cast<unsigned>(value) << al));
}

// An AC coefficient known to be nonzero: its sign (the fixed estimate) and
// magnitude (T.81 Figures F.21 .. F.24); `se` is the bin SE of its index k.
int DecodeAcValue(ArithmeticDecoder& decoder, AcStatistics& statistics, unsigned se, unsigned k,
                  unsigned kx) {
    const bool negative = decoder.DecodeFixed() != 0;
    const unsigned x1 = se + 2;
    int magnitude = 1;
    if (decoder.Decode(statistics[x1]))
        magnitude = DecodeMagnitude(decoder, statistics, x1, k <= kx ? kAcX2Low : kAcX2High);
    return negative ? -magnitude : magnitude;
}

// The index of the next nonzero coefficient from k on (T.81 Figure F.20's
// loop on S0), or throws when the band ends first.
unsigned NextNonzero(ArithmeticDecoder& decoder, AcStatistics& statistics, unsigned k,
                     unsigned se) {
    while (!decoder.Decode(statistics[kAcBinsPerIndex * (k - 1) + 1])) {
        if (++k > se) throw JpegBadStream("Coefficient Index out of Range");
    }
    return k;
}

}  // namespace

int DecodeArithmeticDc(ArithmeticDecoder& decoder, DcStatistics& statistics, DcState& state,
                       DcConditioning conditioning) {
    const unsigned s0 = state.context;
    if (!decoder.Decode(statistics[s0])) {
        state.context = kZeroContext;
        return state.predictor;
    }
    const bool negative = decoder.Decode(statistics[s0 + 1]) != 0;
    const unsigned sign = negative ? 1 : 0;
    int magnitude = 1;
    if (decoder.Decode(statistics[s0 + 2 + sign]))
        magnitude = DecodeMagnitude(decoder, statistics, kDcX1, kDcX1 + 1);
    // T.81 F.1.4.4.1.2: the next block's context by |v| against 2^L and
    // 2^U (halved, as the bounds apply to |v| - 1's leading bit).
    const unsigned leading = std::bit_floor(static_cast<unsigned>(magnitude - 1));
    if (leading < ((1u << conditioning.lower) >> 1))
        state.context = kZeroContext;
    else if (leading > ((1u << conditioning.upper) >> 1))
        state.context = kLargeContext + sign * kNegativeOffset;
    else
        state.context = kSmallContext + sign * kNegativeOffset;
    const int difference = negative ? -magnitude : magnitude;
    // The predictor wraps as a 16-bit value would.
    state.predictor = static_cast<std::int16_t>(state.predictor + difference);
    return state.predictor;
}

void DecodeArithmeticAc(ArithmeticDecoder& decoder, AcStatistics& statistics, unsigned kx,
                        std::int16_t* zigzag, unsigned ss, unsigned se, unsigned al) {
    for (unsigned k = ss; k <= se; ++k) {
        if (decoder.Decode(statistics[kAcBinsPerIndex * (k - 1)])) return;  // end of block
        k = NextNonzero(decoder, statistics, k, se);
        zigzag[k] =
            Scaled(DecodeAcValue(decoder, statistics, kAcBinsPerIndex * (k - 1), k, kx), al);
    }
}

void RefineArithmeticAc(ArithmeticDecoder& decoder, AcStatistics& statistics, std::int16_t* zigzag,
                        unsigned ss, unsigned se, unsigned al) {
    const int bit = 1 << al;
    // EOBx (T.81 G.1.3.3): past the last coefficient earlier passes made
    // nonzero, an end of block may come.
    unsigned lastNonzero = se;
    while (lastNonzero > 0 && zigzag[lastNonzero] == 0) --lastNonzero;
    for (unsigned k = ss; k <= se; ++k) {
        const unsigned seBin = kAcBinsPerIndex * (k - 1);
        if (k > lastNonzero && decoder.Decode(statistics[seBin])) return;
        // Coefficients already nonzero take a correction bit; zero ones a
        // decision whether they become nonzero, until one does.
        for (;;) {
            std::int16_t& coefficient = zigzag[k];
            const unsigned bin = kAcBinsPerIndex * (k - 1);
            if (coefficient != 0) {
                if (decoder.Decode(statistics[bin + 2]))
                    coefficient = static_cast<std::int16_t>(coefficient < 0 ? coefficient - bit
                                                                            : coefficient + bit);
                break;
            }
            if (decoder.Decode(statistics[bin + 1])) {
                coefficient = static_cast<std::int16_t>(decoder.DecodeFixed() ? -bit : bit);
                break;
            }
            if (++k > se) throw JpegBadStream("Coefficient Index out of Range");
        }
    }
}

}  // namespace Tessera
