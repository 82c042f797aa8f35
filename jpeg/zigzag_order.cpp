#include "zigzag_order.h"

namespace Tessera {

// Every value is moved, zero or not: a loop over the non-zero ones alone
// ends after a different count in nearly every block, and that mispredicted
// exit cost more than the 63 moves.
void ZigzagToNaturalPortable(const std::int16_t* zigzag, std::int16_t dc, std::int16_t* natural) {
    natural[0] = dc;
    for (unsigned i = 1; i < 64; ++i) natural[i] = zigzag[NaturalToZigzag[i]];
}

}  // namespace Tessera
