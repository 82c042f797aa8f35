#include "zigzag_order.h"

#include <cstddef>
#include <utility>

namespace Tessera {

namespace {

// natural[n] = zigzag[NaturalToZigzag[n]] for n = 1 + N..., each move with
// both positions fixed at compile time: no loop and no look-up of the order.
template <std::size_t... N>
inline void MoveAc(const std::int16_t* zigzag, std::int16_t* natural, std::index_sequence<N...>) {
    ((natural[N + 1] = zigzag[NaturalToZigzag[N + 1]]), ...);
}

}  // namespace

// Every value is moved, zero or not: a loop over the non-zero ones alone
// ends after a different count in nearly every block, and that mispredicted
// exit cost more than the 63 moves.
void ZigzagToNaturalPortable(const std::int16_t* zigzag, std::int16_t dc, std::int16_t* natural) {
    natural[0] = dc;
    MoveAc(zigzag, natural, std::make_index_sequence<63>{});
}

}  // namespace Tessera
