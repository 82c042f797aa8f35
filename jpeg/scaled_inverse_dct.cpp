#include "scaled_inverse_dct.h"

#include <algorithm>

namespace Tessera {

namespace {

using namespace AccurateIdct;

// ---- The N-point transforms, exact in 64 bits ----
//
// Each takes the inputs x[0..min(N, 8) - 1] (dequantized coefficients in the
// column pass, the column pass's results in the row pass) and `dc`, which is
// x[0] · 2^13 plus half of the pass's final shift, and writes the N sums y[0..N-1]
// still scaled by 2^13. They are the same in both passes: their products and
// sums are exact, so that the only rounding is each pass's final shift. cK
// below stands for √2 cos(Kπ/2N).

using Wide = std::int64_t;

constexpr Wide F(double x) {
    return Fix(x);
}

constexpr Wide Scaled(Wide x) {
    return x * (Wide{1} << kConstBits);
}

void Transform3(const Wide* x, Wide dc, Wide* y) {
    const Wide c2 = x[2] * F(0.707106781);  // c2
    const Wide even0 = dc + c2, even1 = dc - c2 - c2;
    const Wide odd = x[1] * F(1.224744871);  // c1
    y[0] = even0 + odd;
    y[2] = even0 - odd;
    y[1] = even1;
}

void Transform5(const Wide* x, Wide dc, Wide* y) {
    const Wide sum = (x[2] + x[4]) * F(0.790569415);         // (c2 + c4) / 2
    const Wide difference = (x[2] - x[4]) * F(0.353553391);  // (c2 - c4) / 2
    const Wide even = dc + difference;
    const Wide even0 = even + sum, even1 = even - sum, even2 = dc - 4 * difference;

    const Wide c3 = (x[1] + x[3]) * F(0.831253876);  // c3
    const Wide odd0 = c3 + x[1] * F(0.513743148);    // c1 - c3
    const Wide odd1 = c3 - x[3] * F(2.176250899);    // c1 + c3
    y[0] = even0 + odd0;
    y[4] = even0 - odd0;
    y[1] = even1 + odd1;
    y[3] = even1 - odd1;
    y[2] = even2;
}

void Transform6(const Wide* x, Wide dc, Wide* y) {
    const Wide c4 = x[4] * F(0.707106781);  // c4
    const Wide base = dc + c4;
    const Wide even1 = dc - c4 - c4;
    const Wide c2 = x[2] * F(1.224744871);  // c2
    const Wide even0 = base + c2, even2 = base - c2;

    const Wide c5 = (x[1] + x[5]) * F(0.366025404);  // c5
    const Wide odd0 = c5 + Scaled(x[1] + x[3]);
    const Wide odd2 = c5 + Scaled(x[5] - x[3]);
    const Wide odd1 = Scaled(x[1] - x[3] - x[5]);
    y[0] = even0 + odd0;
    y[5] = even0 - odd0;
    y[1] = even1 + odd1;
    y[4] = even1 - odd1;
    y[2] = even2 + odd2;
    y[3] = even2 - odd2;
}

void Transform7(const Wide* x, Wide dc, Wide* y) {
    const Wide c4 = (x[4] - x[6]) * F(0.881747734);                 // c4
    const Wide c6 = (x[2] - x[4]) * F(0.314692123);                 // c6
    const Wide even1 = c4 + c6 + dc - x[4] * F(1.841218003);        // c2 + c4 - c6
    const Wide c2 = (x[2] + x[6]) * F(1.274162392) + dc;            // c2
    const Wide even0 = c4 + c2 - x[6] * F(0.077722536);             // c2 - c4 - c6
    const Wide even2 = c6 + c2 - x[2] * F(2.470602249);             // c2 + c4 + c6
    const Wide even3 = dc + (x[4] - x[2] - x[6]) * F(1.414213562);  // c0

    const Wide sum = (x[1] + x[3]) * F(0.935414347);         // (c3 + c1 - c5) / 2
    const Wide difference = (x[1] - x[3]) * F(0.170262339);  // (c3 + c5 - c1) / 2
    const Wide c1 = (x[3] + x[5]) * -F(1.378756276);         // -c1
    const Wide c5 = (x[1] + x[5]) * F(0.613604268);          // c5
    const Wide odd0 = sum - difference + c5;
    const Wide odd1 = sum + difference + c1;
    const Wide odd2 = c1 + c5 + x[5] * F(1.870828693);  // c3 + c1 - c5
    y[0] = even0 + odd0;
    y[6] = even0 - odd0;
    y[1] = even1 + odd1;
    y[5] = even1 - odd1;
    y[2] = even2 + odd2;
    y[4] = even2 - odd2;
    y[3] = even3;
}

void Transform10(const Wide* x, Wide dc, Wide* y) {
    const Wide c4 = x[4] * F(1.144122806);  // c4
    const Wide c8 = x[4] * F(0.437016024);  // c8
    const Wide base0 = dc + c4, base1 = dc - c8;
    const Wide even2 = dc - 2 * (c4 - c8);              // c0 = (c4 - c8) · 2
    const Wide c6 = (x[2] + x[6]) * F(0.831253876);     // c6
    const Wide rotation0 = c6 + x[2] * F(0.513743148);  // c2 - c6
    const Wide rotation1 = c6 - x[6] * F(2.176250899);  // c2 + c6
    const Wide even0 = base0 + rotation0, even4 = base0 - rotation0;
    const Wide even1 = base1 + rotation1, even3 = base1 - rotation1;

    const Wide sum37 = x[3] + x[7], difference37 = x[3] - x[7];
    const Wide half = difference37 * F(0.309016994);  // (c3 - c7) / 2
    const Wide x5 = Scaled(x[5]);
    const Wide outer = sum37 * F(0.951056516);  // (c3 + c7) / 2
    const Wide plus = x5 + half;
    const Wide odd0 = x[1] * F(1.396802247) + outer + plus;  // c1
    const Wide odd4 = x[1] * F(0.221231742) - outer + plus;  // c9
    const Wide inner = sum37 * F(0.587785252);               // (c1 - c9) / 2
    const Wide minus = x5 - half - difference37 * (Wide{1} << (kConstBits - 1));
    const Wide odd2 = Scaled(x[1] - difference37) - x5;
    const Wide odd1 = x[1] * F(1.260073511) - inner - minus;  // c3
    const Wide odd3 = x[1] * F(0.642039522) - inner + minus;  // c7
    y[0] = even0 + odd0;
    y[9] = even0 - odd0;
    y[1] = even1 + odd1;
    y[8] = even1 - odd1;
    y[2] = even2 + odd2;
    y[7] = even2 - odd2;
    y[3] = even3 + odd3;
    y[6] = even3 - odd3;
    y[4] = even4 + odd4;
    y[5] = even4 - odd4;
}

void Transform12(const Wide* x, Wide dc, Wide* y) {
    const Wide c4 = x[4] * F(1.224744871);  // c4
    const Wide base0 = dc + c4, base1 = dc - c4;
    const Wide c2 = x[2] * F(1.366025404);  // c2
    const Wide x2 = Scaled(x[2]), x6 = Scaled(x[6]);
    const Wide even1 = dc + (x2 - x6), even4 = dc - (x2 - x6);
    const Wide even0 = base0 + (c2 + x6), even5 = base0 - (c2 + x6);
    const Wide even2 = base1 + (c2 - x2 - x6), even3 = base1 - (c2 - x2 - x6);

    const Wide z1 = x[1], z2 = x[3], z3 = x[5], z4 = x[7];
    const Wide c3 = z2 * F(1.306562965);                                    // c3
    const Wide c9 = z2 * -F(0.541196100);                                   // -c9
    const Wide c7 = (z1 + z3 + z4) * F(0.860918669);                        // c7
    const Wide c5 = c7 + (z1 + z3) * F(0.261052384);                        // c5 - c7
    const Wide odd0 = c5 + c3 + z1 * F(0.280143716);                        // c1 - c5
    const Wide c711 = (z3 + z4) * -F(1.045510580);                          // -(c7 + c11)
    const Wide odd2 = c5 + c711 + c9 - z3 * F(1.478575242);                 // c1 + c5 - c7 - c11
    const Wide odd3 = c711 + c7 - c3 + z4 * F(1.586706681);                 // c1 + c11
    const Wide odd5 = c7 + c9 - z1 * F(0.676326758) - z4 * F(1.982889723);  // c7 - c11, c5 + c7
    const Wide rotation = (z1 - z4 + z2 - z3) * F(0.541196100);             // c9
    const Wide odd1 = rotation + (z1 - z4) * F(0.765366865);                // c3 - c9
    const Wide odd4 = rotation - (z2 - z3) * F(1.847759065);                // c3 + c9
    y[0] = even0 + odd0;
    y[11] = even0 - odd0;
    y[1] = even1 + odd1;
    y[10] = even1 - odd1;
    y[2] = even2 + odd2;
    y[9] = even2 - odd2;
    y[3] = even3 + odd3;
    y[8] = even3 - odd3;
    y[4] = even4 + odd4;
    y[7] = even4 - odd4;
    y[5] = even5 + odd5;
    y[6] = even5 - odd5;
}

void Transform14(const Wide* x, Wide dc, Wide* y) {
    const Wide c4 = x[4] * F(1.274162392);   // c4
    const Wide c12 = x[4] * F(0.314692123);  // c12
    const Wide c8 = x[4] * F(0.881747734);   // c8
    const Wide base0 = dc + c4, base1 = dc + c12, base2 = dc - c8;
    const Wide even3 = dc - 2 * (c4 + c12 - c8);        // c0 = (c4 + c12 - c8) · 2
    const Wide c6 = (x[2] + x[6]) * F(1.105676686);     // c6
    const Wide rotation0 = c6 + x[2] * F(0.273079590);  // c2 - c6
    const Wide rotation1 = c6 - x[6] * F(1.719280954);  // c6 + c10
    const Wide rotation2 = x[2] * F(0.613604268) - x[6] * F(1.378756276);  // c10, c2
    const Wide even0 = base0 + rotation0, even6 = base0 - rotation0;
    const Wide even1 = base1 + rotation1, even5 = base1 - rotation1;
    const Wide even2 = base2 + rotation2, even4 = base2 - rotation2;

    const Wide z1 = x[1], z2 = x[3], z3 = x[5], z4 = Scaled(x[7]);
    const Wide c3 = (z1 + z2) * F(1.334852607);             // c3
    const Wide c5 = (z1 + z3) * F(1.197448846);             // c5
    const Wide odd0 = c3 + c5 + z4 - z1 * F(1.126980169);   // c3 + c5 - c1
    const Wide c9 = (z1 + z3) * F(0.752406978);             // c9
    const Wide c11 = (z1 - z2) * F(0.467085129) - z4;       // c11
    const Wide odd6 = c9 - z1 * F(1.061150426) + c11;       // c9 + c11 - c13
    const Wide c13 = (z2 + z3) * -F(0.158341681) - z4;      // -c13
    const Wide odd1 = c3 + c13 - z2 * F(0.424103948);       // c3 - c9 - c13
    const Wide odd2 = c5 + c13 - z3 * F(2.373959773);       // c3 + c5 - c13
    const Wide c1 = (z3 - z2) * F(1.405321284);             // c1
    const Wide odd4 = c9 + c1 + z4 - z3 * F(1.6906431334);  // c1 + c9 - c11
    const Wide odd5 = c11 + c1 + z2 * F(0.674957567);       // c1 + c11 - c5
    const Wide odd3 = Scaled(z1 - z2 - z3) + z4;
    y[0] = even0 + odd0;
    y[13] = even0 - odd0;
    y[1] = even1 + odd1;
    y[12] = even1 - odd1;
    y[2] = even2 + odd2;
    y[11] = even2 - odd2;
    y[3] = even3 + odd3;
    y[10] = even3 - odd3;
    y[4] = even4 + odd4;
    y[9] = even4 - odd4;
    y[5] = even5 + odd5;
    y[8] = even5 - odd5;
    y[6] = even6 + odd6;
    y[7] = even6 - odd6;
}

void Transform16(const Wide* x, Wide dc, Wide* y) {
    const Wide c4 = x[4] * F(1.306562965);   // c4 = c2 of 8 points
    const Wide c12 = x[4] * F(0.541196100);  // c12 = c6 of 8 points
    const Wide base0 = dc + c4, base1 = dc - c4, base2 = dc + c12, base3 = dc - c12;
    const Wide difference26 = x[2] - x[6];
    const Wide c14 = difference26 * F(0.275899379);      // c14 = c7 of 8 points
    const Wide c2 = difference26 * F(1.387039845);       // c2 = c1 of 8 points
    const Wide rotation0 = c2 + x[6] * F(2.562915447);   // c6 + c2
    const Wide rotation1 = c14 + x[2] * F(0.899976223);  // c6 - c14
    const Wide rotation2 = c2 - x[2] * F(0.601344887);   // c2 - c10
    const Wide rotation3 = c14 - x[6] * F(0.509795579);  // c10 - c14
    const Wide even0 = base0 + rotation0, even7 = base0 - rotation0;
    const Wide even1 = base2 + rotation1, even6 = base2 - rotation1;
    const Wide even2 = base3 + rotation2, even5 = base3 - rotation2;
    const Wide even3 = base1 + rotation3, even4 = base1 - rotation3;

    const Wide z1 = x[1], z2 = x[3], z3 = x[5], z4 = x[7];
    const Wide c3 = (z1 + z2) * F(1.353318001);               // c3
    const Wide c5 = (z1 + z3) * F(1.247225013);               // c5
    const Wide c7 = (z1 + z4) * F(1.093201867);               // c7
    const Wide c9 = (z1 - z4) * F(0.897167586);               // c9
    const Wide c11 = (z1 + z3) * F(0.666655658);              // c11
    const Wide c13 = (z1 - z2) * F(0.410524528);              // c13
    const Wide odd0 = c3 + c5 + c7 - z1 * F(2.286341144);     // c7 + c5 + c3 - c1
    const Wide odd7 = c9 + c11 + c13 - z1 * F(1.835730603);   // c9 + c11 + c13 - c15
    const Wide c15 = (z2 + z3) * F(0.138617169);              // c15
    const Wide c1 = (z3 - z2) * F(1.407403738);               // c1
    const Wide c11n = (z2 + z4) * -F(0.666655658);            // -c11
    const Wide c5n = (z2 + z4) * -F(1.247225013);             // -c5
    const Wide c3n = (z3 + z4) * -F(1.353318001);             // -c3
    const Wide c13b = (z4 - z3) * F(0.410524528);             // c13
    const Wide odd1 = c3 + c15 + z2 * F(0.071888074) + c11n;  // c9 + c11 - c3 - c15
    const Wide odd2 = c5 + c15 - z3 * F(1.125726048) + c3n;   // c5 + c7 + c15 - c3
    const Wide odd3 = c7 + c11n + z4 * F(1.065388962) + c3n;  // c3 + c11 + c15 - c7
    const Wide odd4 = c9 + c5n + z4 * F(3.141271809) + c13b;  // c1 + c5 + c9 - c13
    const Wide odd5 = c11 + c1 - z3 * F(0.766367282) + c13b;  // c1 + c11 - c9 - c13
    const Wide odd6 = c13 + c1 + z2 * F(1.971951411) + c5n;   // c1 + c5 + c13 - c7
    y[0] = even0 + odd0;
    y[15] = even0 - odd0;
    y[1] = even1 + odd1;
    y[14] = even1 - odd1;
    y[2] = even2 + odd2;
    y[13] = even2 - odd2;
    y[3] = even3 + odd3;
    y[12] = even3 - odd3;
    y[4] = even4 + odd4;
    y[11] = even4 - odd4;
    y[5] = even5 + odd5;
    y[10] = even5 - odd5;
    y[6] = even6 + odd6;
    y[9] = even6 - odd6;
    y[7] = even7 + odd7;
    y[8] = even7 - odd7;
}

// The exact coefficient × quantizer product, the quantizer read as a signed
// 16-bit value.
constexpr Wide Dequantize(std::int16_t coefficient, std::uint16_t quant) {
    return Wide{coefficient} * static_cast<std::int16_t>(quant);
}

// Columns then rows with an N-point transform. The column pass transforms the
// first min(N, 8) columns of the first min(N, 8) rows and keeps the low 32
// bits of each descaled sum; the row pass transforms each of the N rows.
template <int N, void (*Transform)(const Wide*, Wide, Wide*)>
void TwoPasses(std::uint8_t* out, std::ptrdiff_t stride, const std::int16_t* coefficients,
               const std::uint16_t* quant) {
    constexpr int kInputs = N < 8 ? N : 8;
    std::int32_t work[N][kInputs];
    for (int column = 0; column < kInputs; ++column) {
        Wide x[kInputs], y[N];
        for (int k = 0; k < kInputs; ++k)
            x[k] = Dequantize(coefficients[8 * k + column], quant[8 * k + column]);
        Transform(x, Scaled(x[0]) + (1 << (kColumnShift - 1)), y);
        for (int row = 0; row < N; ++row)
            work[row][column] = static_cast<std::int32_t>(y[row] >> kColumnShift);
    }
    for (int row = 0; row < N; ++row) {
        Wide x[kInputs], y[N];
        for (int k = 0; k < kInputs; ++k) x[k] = work[row][k];
        Transform(x, Scaled(x[0]) + (1 << (kRowShift - 1)), y);
        for (int column = 0; column < N; ++column)
            out[row * stride + column] =
                RangeLimit(static_cast<std::int32_t>(y[column] >> kRowShift));
    }
}

// ---- 2 × 2 and 4 × 4: djpeg's SSE2 arithmetic ----
//
// jidctred's transforms: each output is the average of two (4 × 4) or four
// (2 × 2) neighbouring outputs of the 8-point transform, simplified, so
// they need only some of the inputs and no x4.

using Word = std::uint32_t;  // 32-bit lanes that wrap

constexpr std::int32_t Wrap16(std::int32_t value) {
    return static_cast<std::int16_t>(value);
}

constexpr std::int32_t Saturate16(std::int32_t value) {
    return std::clamp<std::int32_t>(value, -32768, 32767);
}

// Arithmetic shift of a wrapped 32-bit sum after adding half of 2^bits.
constexpr std::int32_t Descale(Word sum, int bits) {
    return static_cast<std::int32_t>(sum + (Word{1} << (bits - 1))) >> bits;
}

constexpr std::uint8_t SaturatedSample(std::int32_t value) {
    return static_cast<std::uint8_t>(std::clamp(value, -128, 127) + 128);
}

// The 16-bit products of the vector kernels' dequantization.
void DequantizeTo16Bits(const std::int16_t* coefficients, const std::uint16_t* quant,
                        std::int32_t* out) {
    for (int i = 0; i < 64; ++i)
        out[i] = Wrap16(coefficients[i] * static_cast<std::int16_t>(quant[i]));
}

// 4-point transform from x0, x1, x2, x3, x5, x6, x7 (stride `step`); each
// product pair fits 32 bits, the sums wrap.
void Reduced4(const std::int32_t* x, int step, Word* sums) {
    const Word even = static_cast<Word>(x[0] * (1 << (kConstBits + 1)));
    const Word rotation = static_cast<Word>(x[2 * step] * Fix(1.847759065)) +
                          static_cast<Word>(x[6 * step] * -Fix(0.765366865));
    const Word even0 = even + rotation, even1 = even - rotation;
    const Word oddA =
        static_cast<Word>(x[step] * Fix(2.562915447) + x[3 * step] * Fix(0.899976223)) +
        static_cast<Word>(x[5 * step] * -Fix(0.601344887) + x[7 * step] * -Fix(0.509795579));
    const Word oddB =
        static_cast<Word>(x[step] * Fix(1.061594337) + x[3 * step] * -Fix(2.172734803)) +
        static_cast<Word>(x[5 * step] * Fix(1.451774981) + x[7 * step] * -Fix(0.211164243));
    sums[0] = even0 + oddA;
    sums[3] = even0 - oddA;
    sums[1] = even1 + oddB;
    sums[2] = even1 - oddB;
}

// The four products of 2-point transform's odd part: x1, x3, x5, x7 with
// √2 (c1 + c3 + c5 + c7), √2 (-c1 + c3 - c5 - c7), √2 (-c1 + c3 + c5 + c7)
// and √2 (c7 - c5 + c3 - c1).
Word Reduced2Odd(std::int32_t x1, std::int32_t x3, std::int32_t x5, std::int32_t x7) {
    return static_cast<Word>(x1 * Fix(3.624509785) + x3 * -Fix(1.272758580)) +
           static_cast<Word>(x5 * Fix(0.850430095) + x7 * -Fix(0.720959822));
}

}  // namespace

void ScaledInverseDct1x1(std::uint8_t* out, std::ptrdiff_t, const std::int16_t* coefficients,
                         const std::uint16_t* quant) {
    // The mean of the block: DC / 8, rounded.
    const Wide dc = Dequantize(coefficients[0], quant[0]);
    *out = RangeLimit(static_cast<std::int32_t>((dc + 4) >> 3));
}

void ScaledInverseDct2x2(std::uint8_t* out, std::ptrdiff_t stride, const std::int16_t* coefficients,
                         const std::uint16_t* quant) {
    std::int32_t d[64];
    DequantizeTo16Bits(coefficients, quant, d);
    // Columns 0, 1, 3, 5 and 7 (the row pass needs no others): two values each,
    // descaled by 13 bits in 32.
    constexpr int kUsed[5] = {0, 1, 3, 5, 7};
    std::int32_t work[2][8];
    for (int column : kUsed) {
        const Word even = static_cast<Word>(d[column] * (1 << (kConstBits + 2)));
        const Word odd = Reduced2Odd(d[8 + column], d[24 + column], d[40 + column], d[56 + column]);
        work[0][column] = Descale(even + odd, kConstBits - kPass1Bits + 2);
        work[1][column] = Descale(even - odd, kConstBits - kPass1Bits + 2);
    }
    // Rows: the odd inputs saturate to 16 bits; the DC column goes on in 32
    // bits, shifted left by 15 with wrap-around.
    for (int row = 0; row < 2; ++row) {
        const std::int32_t* w = work[row];
        const Word even = static_cast<Word>(w[0]) << (kConstBits + 2);
        const Word odd =
            Reduced2Odd(Saturate16(w[1]), Saturate16(w[3]), Saturate16(w[5]), Saturate16(w[7]));
        out[row * stride] = SaturatedSample(Descale(even + odd, kRowShift + 2));
        out[row * stride + 1] = SaturatedSample(Descale(even - odd, kRowShift + 2));
    }
}

void ScaledInverseDct4x4(std::uint8_t* out, std::ptrdiff_t stride, const std::int16_t* coefficients,
                         const std::uint16_t* quant) {
    std::int32_t d[64];
    DequantizeTo16Bits(coefficients, quant, d);
    // Columns: 4 values each, descaled by 12 bits and saturated to 16; column 4
    // is never needed.
    std::int32_t work[4][8];
    bool onlyFirstRow = true;
    for (int row : {1, 2, 3, 5, 6, 7})
        for (int column = 0; column < 8; ++column)
            onlyFirstRow = onlyFirstRow && coefficients[8 * row + column] == 0;
    for (int column = 0; column < 8; ++column) {
        if (column == 4) continue;
        if (onlyFirstRow) {
            for (auto& row : work) row[column] = Wrap16(d[column] * (1 << kPass1Bits));
            continue;
        }
        Word sums[4];
        Reduced4(d + column, 8, sums);
        for (int row = 0; row < 4; ++row)
            work[row][column] = Saturate16(Descale(sums[row], kColumnShift + 1));
    }
    for (int row = 0; row < 4; ++row) {
        Word sums[4];
        Reduced4(work[row], 1, sums);
        for (int column = 0; column < 4; ++column)
            out[row * stride + column] = SaturatedSample(Descale(sums[column], kRowShift + 1));
    }
}

void ScaledInverseDct3x3(std::uint8_t* out, std::ptrdiff_t stride, const std::int16_t* coefficients,
                         const std::uint16_t* quant) {
    TwoPasses<3, Transform3>(out, stride, coefficients, quant);
}

void ScaledInverseDct5x5(std::uint8_t* out, std::ptrdiff_t stride, const std::int16_t* coefficients,
                         const std::uint16_t* quant) {
    TwoPasses<5, Transform5>(out, stride, coefficients, quant);
}

void ScaledInverseDct6x6(std::uint8_t* out, std::ptrdiff_t stride, const std::int16_t* coefficients,
                         const std::uint16_t* quant) {
    TwoPasses<6, Transform6>(out, stride, coefficients, quant);
}

void ScaledInverseDct7x7(std::uint8_t* out, std::ptrdiff_t stride, const std::int16_t* coefficients,
                         const std::uint16_t* quant) {
    TwoPasses<7, Transform7>(out, stride, coefficients, quant);
}

void ScaledInverseDct10x10(std::uint8_t* out, std::ptrdiff_t stride,
                           const std::int16_t* coefficients, const std::uint16_t* quant) {
    TwoPasses<10, Transform10>(out, stride, coefficients, quant);
}

void ScaledInverseDct12x12(std::uint8_t* out, std::ptrdiff_t stride,
                           const std::int16_t* coefficients, const std::uint16_t* quant) {
    TwoPasses<12, Transform12>(out, stride, coefficients, quant);
}

void ScaledInverseDct14x14(std::uint8_t* out, std::ptrdiff_t stride,
                           const std::int16_t* coefficients, const std::uint16_t* quant) {
    TwoPasses<14, Transform14>(out, stride, coefficients, quant);
}

void ScaledInverseDct16x16(std::uint8_t* out, std::ptrdiff_t stride,
                           const std::int16_t* coefficients, const std::uint16_t* quant) {
    TwoPasses<16, Transform16>(out, stride, coefficients, quant);
}

AccurateInverseDctKernel ScaledInverseDctFor(unsigned size) {
    switch (size) {
        case 1:
            return ScaledInverseDct1x1;
        case 2:
            return ScaledInverseDct2x2;
        case 3:
            return ScaledInverseDct3x3;
        case 4:
            return ScaledInverseDct4x4;
        case 5:
            return ScaledInverseDct5x5;
        case 6:
            return ScaledInverseDct6x6;
        case 7:
            return ScaledInverseDct7x7;
        case 8:
            return AccurateInverseDctPortable;
        case 10:
            return ScaledInverseDct10x10;
        case 12:
            return ScaledInverseDct12x12;
        case 14:
            return ScaledInverseDct14x14;
        case 16:
            return ScaledInverseDct16x16;
        default:
            return nullptr;
    }
}

}  // namespace Tessera
