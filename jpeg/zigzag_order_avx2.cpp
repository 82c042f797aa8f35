// The zigzag reordering of zigzag_order.cpp with byte shuffles. Each row of
// the natural block gathers its eight coefficients from at most five of the
// eight vectors of eight zigzag-ordered ones (the zigzag's diagonals cross
// the rows); a shuffle of each source vector puts its coefficients in their
// columns and zeros elsewhere, and the row is their bitwise or. SSSE3's
// 128-bit shuffle does it, which every AVX2 CPU has.
//
// This file alone is compiled with -mavx2 and runs only after the CPU check of
// simd_level.cpp; everything here but the entry point has internal linkage, so
// no AVX2 code can stand in for an inline function of another file.

#include "zigzag_order.h"

#if TESSERA_X86_KERNELS

#include <immintrin.h>

namespace Tessera {

namespace {

constexpr int kSources = 5;  // the most source vectors a row draws on

struct RowShuffles {
    std::uint8_t source[kSources];                // vectors of zigzag indices 8j..8j + 7
    alignas(16) std::int8_t bytes[kSources][16];  // -128: a zero byte
};

constexpr std::array<RowShuffles, 8> MakeShuffles() {
    std::array<RowShuffles, 8> rows{};
    for (int r = 0; r < 8; ++r) {
        int used = 0;
        for (int j = 0; j < 8; ++j) {
            bool draws = false;
            for (int c = 0; c < 8; ++c) draws = draws || NaturalToZigzag[8 * r + c] / 8 == j;
            if (!draws) continue;
            if (used == kSources) throw "a row draws on more vectors than kSources";
            rows[r].source[used] = static_cast<std::uint8_t>(j);
            for (int c = 0; c < 8; ++c) {
                const int z = NaturalToZigzag[8 * r + c];
                const bool here = z / 8 == j;
                rows[r].bytes[used][2 * c] = static_cast<std::int8_t>(here ? 2 * (z % 8) : -128);
                rows[r].bytes[used][2 * c + 1] =
                    static_cast<std::int8_t>(here ? 2 * (z % 8) + 1 : -128);
            }
            ++used;
        }
        for (; used < kSources; ++used)  // a row of fewer sources ors zeros in for the rest
            for (auto& byte : rows[r].bytes[used]) byte = -128;
    }
    return rows;
}

constexpr std::array<RowShuffles, 8> kShuffles = MakeShuffles();

}  // namespace

void ZigzagToNaturalAvx2(const std::int16_t* zigzag, std::int16_t dc, std::int16_t* natural) {
    __m128i in[8];
    for (int j = 0; j < 8; ++j)
        in[j] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(zigzag + 8 * j));
    for (int r = 0; r < 8; ++r) {
        __m128i row = _mm_setzero_si128();
        for (int s = 0; s < kSources; ++s) {
            const __m128i shuffle =
                _mm_load_si128(reinterpret_cast<const __m128i*>(kShuffles[r].bytes[s]));
            row = _mm_or_si128(row, _mm_shuffle_epi8(in[kShuffles[r].source[s]], shuffle));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(natural + 8 * r), row);
    }
    natural[0] = dc;
}

}  // namespace Tessera

#endif
