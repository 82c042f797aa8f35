#pragma once

#include <array>
#include <cstdint>

#include "inverse_dct.h"
#include "zigzag_order.h"

namespace Tessera {

class InputByteStream;

// One quantization table and the dequantization multipliers that the inverse
// DCT applies, so that dequantizing and prescaling cost one multiplication.
struct QuantTable {
    // Loads 64 one-byte values (precision 0) and computes the multipliers;
    // lenient (tolerant decodes) also takes 64 two-byte values, high byte
    // first (precision 1), and zero values, which make their coefficients 0.
    void LoadTable(InputByteStream& stream, unsigned precision, bool lenient = false);

    // The table as the DQT lists it, in zigzag order.
    std::array<std::uint16_t, 64> values{};
    // Natural order, entry 8u+v: value × S(u,v) × 4096 truncated (12 fraction
    // bits), in `values`; with its 16-bit split.
    InverseDctMultipliers multipliers;
    // The values in natural order, entry 8u+v: the quantizers of the accurate
    // and scaled transforms (accurate_inverse_dct.h, scaled_inverse_dct.h).
    std::array<std::uint16_t, 64> natural{};
    bool defined = false;
    // The values came with precision 1.
    bool sixteenBit = false;
    // A value is 0 (lenient loads only).
    bool hasZero = false;

  private:
    void ComputeMultipliers();
};

}  // namespace Tessera
