#pragma once

#include <cstdint>

namespace Tessera {

class SampleBlock;
struct QuantTable;

// Dequantizes 64 coefficients (natural order) with the table's multipliers,
// applies the two-dimensional inverse DCT in 32-bit integer arithmetic with 12
// fraction bits, level-shifts by 128, rounds and clamps into the block.
void InverseDct(SampleBlock& target, const std::int16_t* coefficients, const QuantTable& table);

}  // namespace Tessera
