#pragma once

#include <array>
#include <cstdint>

namespace Tessera {

class JpegComponent;
class RasterImage;

// The JFIF YCbCr -> RGB equations as four tables over a sample value i
// (k = i - 128), each the exact product rounded half away from zero; the two
// green terms carry 16 fraction bits.
struct ColourTables {
    std::array<std::int32_t, 256> redFromCr;    // 1.402 · k
    std::array<std::int32_t, 256> blueFromCb;   // 1.772 · k
    std::array<std::int32_t, 256> greenFromCb;  // 0.34414 · 65536 · k
    std::array<std::int32_t, 256> greenFromCr;  // 0.71414 · 65536 · k
};
extern const ColourTables kColourTables;

// Writes every pixel of the image from the component's plane (grey).
void ConvertGrayscale(const JpegComponent& component, RasterImage& image);
// Writes every pixel from the Y, Cb and Cr planes; nothing if one is missing.
void ConvertYCbCr(const JpegComponent& y, const JpegComponent& cb, const JpegComponent& cr,
                  RasterImage& image);

}  // namespace Tessera
