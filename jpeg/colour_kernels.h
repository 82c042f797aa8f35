#pragma once

#include <cstddef>
#include <cstdint>

namespace Tessera {

// Pixel j from y[j], cb[j], cr[j].
using YCbCrRowKernel = void (*)(const std::uint8_t* y, const std::uint8_t* cb,
                                const std::uint8_t* cr, std::uint32_t* out, std::size_t width);
using GreyRowKernel = void (*)(const std::uint8_t* grey, std::uint32_t* out, std::size_t width);

void YCbCrRowPortable(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr,
                      std::uint32_t* out, std::size_t width);
void YCbCrRowHalfPortable(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr,
                          std::uint32_t* out, std::size_t width);
void GreyRowPortable(const std::uint8_t* grey, std::uint32_t* out, std::size_t width);

}  // namespace Tessera
