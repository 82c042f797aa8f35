#pragma once

#include <cstdint>

namespace Tessera {

// Entropy-coded data is plain where every 0xFF in it is followed by a
// stuffed zero (T.81 F.1.2.3); any other 0xFF starts a marker. Skips whole
// 16-byte stretches of plain data from `at`, up to `stop` and never reading
// `end`: returns the start of the first stretch that holds an 0xFF without
// its stuffed zero (or where fewer than 16 bytes are left), for a byte-wise
// search to go on from. A stretch that ends in an 0xFF takes its stuffed
// zero too, so that the result never falls between the two.
//
// An 0xFF comes every few hundred bytes of a photo's data; looking for each
// with memchr, over a whole scan before it is decoded and again as it is
// read, cost 2 % of a baseline decode.
const std::uint8_t* SkipPlainStretches(const std::uint8_t* at, const std::uint8_t* stop,
                                       const std::uint8_t* end);

// A marker in entropy-coded data: its first 0xFF, and its code after any
// fill bytes (0xFF) between them.
struct MarkerAt {
    const std::uint8_t* prefix = nullptr;
    const std::uint8_t* code = nullptr;
};
// The first marker in entropy-coded data from `at` on whose code lies before
// `end`; prefix null where there is none.
MarkerAt NextMarker(const std::uint8_t* at, const std::uint8_t* end);

}  // namespace Tessera
