#pragma once

#include <cstddef>
#include <cstdint>

#include "simd_target.h"

namespace Tessera {

// libjpeg's YCbCr → RGB: JFIF's equations red = Y + 1.402 (Cr − 128),
// green = Y − 0.34414 (Cb − 128) − 0.71414 (Cr − 128), blue = Y + 1.772
// (Cb − 128), in fixed point with 16 fraction bits: each constant is the
// coefficient × 65536 rounded, each term rounded by adding one half before
// the arithmetic shift (green's two products summed first), as libjpeg's
// tables round them; the sums clamped to 0..255.
namespace LibjpegColour {

constexpr int kFractionBits = 16;
constexpr std::int32_t kHalf = 1 << (kFractionBits - 1);
constexpr std::int32_t Fixed(double x) {
    return static_cast<std::int32_t>(x * (1 << kFractionBits) + 0.5);
}
constexpr std::int32_t kRedFromCr = Fixed(1.40200);    // 91881
constexpr std::int32_t kGreenFromCb = Fixed(0.34414);  // 22554
constexpr std::int32_t kGreenFromCr = Fixed(0.71414);  // 46802
constexpr std::int32_t kBlueFromCb = Fixed(1.77200);   // 116130

// What each chroma difference (sample − 128) adds to Y.
constexpr int RedTerm(int kr) {
    return (kRedFromCr * kr + kHalf) >> kFractionBits;
}
constexpr int GreenTerm(int kb, int kr) {
    return (-kGreenFromCb * kb - kGreenFromCr * kr + kHalf) >> kFractionBits;
}
constexpr int BlueTerm(int kb) {
    return (kBlueFromCb * kb + kHalf) >> kFractionBits;
}

constexpr std::uint8_t Clamp(int v) {
    return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

struct Rgb {
    std::uint8_t r, g, b;
};

constexpr Rgb RgbOfYcc(int y, int cb, int cr) {
    return {Clamp(y + RedTerm(cr - 128)), Clamp(y + GreenTerm(cb - 128, cr - 128)),
            Clamp(y + BlueTerm(cb - 128))};
}

}  // namespace LibjpegColour

// Converts `width` pixels: pixel j from y[j], cb[j], cr[j] (chroma at full
// resolution) into out, 3 or 4 bytes a pixel in the kernel's layout, the
// fourth byte 255. Every level's kernel gives the same bytes.
using LibjpegColourKernel = void (*)(const std::uint8_t* y, const std::uint8_t* cb,
                                     const std::uint8_t* cr, std::uint8_t* out, std::size_t width);

// One kernel per layout of a level: bytes R, G, B; B, G, R; R, G, B, 255;
// B, G, R, 255.
struct LibjpegColourKernels {
    LibjpegColourKernel rgb, bgr, rgba, bgra;
};

// Plain C++; the reference the others reproduce.
LibjpegColourKernels LibjpegColourKernelsPortable();
#if TESSERA_X86_KERNELS
LibjpegColourKernels LibjpegColourKernelsSse2();
// Needs a CPU with AVX2 (see simd_level.h).
LibjpegColourKernels LibjpegColourKernelsAvx2();
#endif

}  // namespace Tessera
