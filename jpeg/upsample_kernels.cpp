#include "upsample_kernels.h"

namespace Tessera {

namespace {

template <int Shift, int EvenBias, int OddBias, typename Sample>
void Widen(const Sample* __restrict s, std::size_t begin, std::size_t end,
           std::uint8_t* __restrict out) {
    for (std::size_t i = begin; i < end; ++i) {
        out[2 * i] = static_cast<std::uint8_t>((3 * s[i] + s[i - 1] + EvenBias) >> Shift);
        out[2 * i + 1] = static_cast<std::uint8_t>((3 * s[i] + s[i + 1] + OddBias) >> Shift);
    }
}

void ColumnSums(const std::uint8_t* __restrict near, const std::uint8_t* __restrict far,
                std::size_t begin, std::size_t end, std::uint16_t* __restrict sums) {
    for (std::size_t x = begin; x < end; ++x)
        sums[x] = static_cast<std::uint16_t>(3 * near[x] + far[x]);
}

void TallRow(const std::uint8_t* __restrict near, const std::uint8_t* __restrict far,
             std::size_t begin, std::size_t end, bool lower, std::uint8_t* __restrict out) {
    const int bias = lower ? 2 : 1;
    for (std::size_t x = begin; x < end; ++x)
        out[x] = static_cast<std::uint8_t>((3 * near[x] + far[x] + bias) >> 2);
}

void DoubleSamples(const std::uint8_t* __restrict in, std::size_t begin, std::size_t end,
                   std::uint8_t* __restrict out) {
    for (std::size_t x = begin; x < end; ++x) out[x] = in[x / 2];
}

}  // namespace

UpsampleKernels UpsampleKernelsPortable() {
    return {Widen<2, 1, 2, std::uint8_t>, Widen<4, 8, 7, std::uint16_t>, ColumnSums, TallRow,
            DoubleSamples};
}

}  // namespace Tessera
