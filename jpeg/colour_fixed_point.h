#pragma once

// The colour tables of colour_conversion.h as integer arithmetic that SIMD
// lanes do without lookups (gathers are slow). Each formula is checked here,
// at compile time, against the exactly rounded product for all 256 samples.
// Only constants leave this header: the kernels that include it are compiled
// for different instruction sets and must not share inline code.

#include <cstdint>

namespace Tessera::ColourFixedPoint {

// numerator / denominator · k rounded half away from zero, as kColourTables
// rounds its entries.
constexpr std::int64_t RoundedProduct(std::int64_t numerator, std::int64_t denominator, int k) {
    const std::int64_t product = numerator * k;
    const std::int64_t magnitude =
        ((product < 0 ? -product : product) * 2 + denominator) / (2 * denominator);
    return product < 0 ? -magnitude : magnitude;
}

// A table entry from k = sample − 128 as
//   (mulhi(k · 2^8, multiplier) + 2^5) >> 6 = floor((k · multiplier + 2^13) / 2^14),
// mulhi being the high half of the signed 16 × 16-bit product (k · 2^8 fits
// int16), i.e. the factor with 14 fraction bits, rounded. The multiplier is
// factor · 2^14 rounded up: the tiny excess puts the exact halves (blue:
// 1.772 · ±125 = ±221.5) beyond the rounding point, away from zero, and is
// too small (at most 128 / 2^14) to move any other entry.
inline constexpr int kScaledShift = 6;
inline constexpr std::int16_t kScaledHalf = 1 << (kScaledShift - 1);

constexpr std::int16_t ScaledMultiplier(std::int64_t numerator, std::int64_t denominator) {
    return static_cast<std::int16_t>((numerator * (1 << 14) + denominator - 1) / denominator);
}

constexpr std::int32_t Scaled(int k, std::int16_t multiplier) {
    const std::int32_t mulhi = (k * 256 * multiplier) >> 16;
    return (mulhi + kScaledHalf) >> kScaledShift;
}

// red = y + 1.402 · k(cr), blue = y + 1.772 · k(cb).
inline constexpr std::int16_t kRedFromCr = ScaledMultiplier(1402, 1000);   // 22971
inline constexpr std::int16_t kBlueFromCb = ScaledMultiplier(1772, 1000);  // 29033

// The green terms carry 16 fraction bits, too many for 16-bit lanes. Their
// factors 0.34414 · 2^16 = 22553.55904 and 0.71414 · 2^16 = 46801.87904 split
// into an integer and a fraction; as k times the integer is exact, rounding
// the product is rounding k times the fraction:
//   greenFromCb(k) = 22553 · k + round(0.55904 · k)
//   greenFromCr(k) = 46801 · k + round(0.87904 · k)
//                  = 2^16 · k − 18735 · k + round(0.87904 · k),
// the last form so that every factor fits int16 for a multiply-add of
// (k, fraction) pairs.
inline constexpr std::int64_t kGreenCbNumerator = std::int64_t{34414} * 65536;
inline constexpr std::int64_t kGreenCrNumerator = std::int64_t{71414} * 65536;
inline constexpr std::int64_t kGreenDenominator = 100000;
inline constexpr auto kGreenCbWhole =
    static_cast<std::int16_t>(kGreenCbNumerator / kGreenDenominator);  // 22553
inline constexpr auto kGreenCrBelow =
    static_cast<std::int16_t>(65536 - kGreenCrNumerator / kGreenDenominator);  // 18735
inline constexpr std::int16_t kGreenCbFraction =
    ScaledMultiplier(kGreenCbNumerator % kGreenDenominator, kGreenDenominator);  // 9160
inline constexpr std::int16_t kGreenCrFraction =
    ScaledMultiplier(kGreenCrNumerator % kGreenDenominator, kGreenDenominator);  // 14403

constexpr bool FormulasMatchTheTables() {
    for (int k = -128; k < 128; ++k) {
        if (Scaled(k, kRedFromCr) != RoundedProduct(1402, 1000, k)) return false;
        if (Scaled(k, kBlueFromCb) != RoundedProduct(1772, 1000, k)) return false;
        if (kGreenCbWhole * k + Scaled(k, kGreenCbFraction) !=
            RoundedProduct(kGreenCbNumerator, kGreenDenominator, k))
            return false;
        if (65536 * k - kGreenCrBelow * k + Scaled(k, kGreenCrFraction) !=
            RoundedProduct(kGreenCrNumerator, kGreenDenominator, k))
            return false;
    }
    return true;
}
static_assert(FormulasMatchTheTables());

}  // namespace Tessera::ColourFixedPoint
