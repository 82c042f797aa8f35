#pragma once

// The coding models of arithmetic-coded scans (T.81 F.1.4, F.2.4, G.1.3,
// G.2): which statistics bin each decision of a block's coefficients uses.
// Each works on the block it is given and the statistics it is handed (the
// scan decoder owns both).

#include <array>
#include <cstdint>

#include "arithmetic_decoder.h"

namespace Tessera {

// The conditioning values that DAC sets per table slot (T.81 B.2.4.3), with
// the defaults of T.81 F.1.4.4.1.4 and F.1.4.4.2: L = 0, U = 1, Kx = 5.
struct ArithmeticConditioning {
    static constexpr unsigned kSlots = 4;
    std::array<std::uint8_t, kSlots> dcLower{0, 0, 0, 0};
    std::array<std::uint8_t, kSlots> dcUpper{1, 1, 1, 1};
    std::array<std::uint8_t, kSlots> acKx{5, 5, 5, 5};
};

// The statistics area of one DC table slot (T.81 Table F.4: five contexts
// of four bins from 0, X1 .. X15 from 20, M2 .. M15 14 bins above them).
using DcStatistics = std::array<ArithmeticBin, 64>;
// The statistics area of one AC table slot (T.81 Table F.5: three bins per
// index k from 0, X2 .. at 189 (k <= Kx) or 217 (k > Kx), M 14 above).
using AcStatistics = std::array<ArithmeticBin, 256>;

// The DC decoding state of one component in a scan.
struct DcState {
    int predictor = 0;
    unsigned context = 0;  // S0 of T.81 Table F.4: 0, 4, 8, 12 or 16
};

struct DcConditioning {
    unsigned lower = 0;
    unsigned upper = 1;
};

// The DC difference of one block (T.81 F.1.4.4.1, Figures F.19 .. F.24)
// added to the predictor; returns the new predictor.
int DecodeArithmeticDc(ArithmeticDecoder& decoder, DcStatistics& statistics, DcState& state,
                       DcConditioning conditioning);
// The coefficients Ss..Se of a first pass (T.81 F.1.4.4.2, G.1.3.2) into
// `zigzag`, each scaled by 2^al.
void DecodeArithmeticAc(ArithmeticDecoder& decoder, AcStatistics& statistics, unsigned kx,
                        std::int16_t* zigzag, unsigned ss, unsigned se, unsigned al);
// A refinement pass of Ss..Se (T.81 G.1.3.3).
void RefineArithmeticAc(ArithmeticDecoder& decoder, AcStatistics& statistics, std::int16_t* zigzag,
                        unsigned ss, unsigned se, unsigned al);

}  // namespace Tessera
