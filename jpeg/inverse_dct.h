#pragma once

#include <cstddef>
#include <cstdint>

namespace Tessera {

class SampleBlock;
struct QuantTable;

// Dequantizes 64 coefficients (natural order) with the table's multipliers,
// applies the two-dimensional inverse DCT in 32-bit integer arithmetic with 12
// fraction bits, level-shifts by 128, rounds and clamps into the block.
// Writes 8 rows of 8 samples at out, rows `stride` bytes apart.
using InverseDctKernel = void (*)(std::uint8_t* out, std::ptrdiff_t stride,
                                  const std::int16_t* coefficients,
                                  const std::int32_t* multipliers);
void InverseDctPortable(std::uint8_t* out, std::ptrdiff_t stride, const std::int16_t* coefficients,
                        const std::int32_t* multipliers);
void InverseDct(SampleBlock& target, const std::int16_t* coefficients, const QuantTable& table);

}  // namespace Tessera
