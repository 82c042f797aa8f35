#pragma once

// Random Huffman tables for the tests that compare the decoder's look-ups and
// fast paths with the stream's own symbol-by-symbol procedures.

#include <algorithm>
#include <cstdint>
#include <random>

#include "jpeg/huffman_table.h"
#include "stream_builder.h"

namespace Tessera::Testing {

using Rng = std::mt19937;

inline int Uniform(Rng& rng, int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(rng);
}

inline HuffmanTable LoadTable(const HuffmanCodes& codes) {
    const Bytes body = TableBody(codes);
    MemoryStream stream(body);
    HuffmanTable table;
    table.LoadTable(stream);
    // Every look-up, as the scans that read them make them.
    table.MakeSequentialSteps();
    table.MakeRefinementSteps();
    return table;
}

enum class Shape { kAny, kSingle, kLong, kComplete, kEmpty };

// Counts that never over-subscribe a length, with random symbols.
inline HuffmanCodes RandomCodes(Rng& rng, Shape shape) {
    HuffmanCodes codes{};
    const int single = Uniform(rng, 1, 16);
    const int completeAt = Uniform(rng, 1, 8);
    std::uint32_t code = 0;  // the first free code of the current length
    int total = 0;
    for (int length = 1; length <= 16; ++length) {
        const int room = std::min<int>(static_cast<int>((1u << length) - code), 256 - total);
        int n = 0;
        switch (shape) {
            case Shape::kAny:
                n = Uniform(rng, 0, 2) == 0 ? 0
                                            : Uniform(rng, 0, std::min(room, Uniform(rng, 1, 6)));
                break;
            case Shape::kSingle:
                n = length == single ? 1 : 0;
                break;
            case Shape::kLong:
                n = length < 9 ? 0 : Uniform(rng, 0, std::min(room, 12));
                break;
            case Shape::kComplete:  // every bit string begins with a code
                n = length < completeAt    ? Uniform(rng, 0, room / 2)
                    : length == completeAt ? room
                                           : 0;
                break;
            case Shape::kEmpty:
                break;
        }
        codes.counts[length - 1] = static_cast<std::uint8_t>(n);
        total += n;
        code = (code + static_cast<std::uint32_t>(n)) << 1;
    }
    for (int i = 0; i < total; ++i) codes.symbols.push_back(static_cast<std::uint8_t>(rng()));
    return codes;
}

// Symbols as AC tables hold them, mostly short runs and sizes, so that codes
// with their extra bits often fit a look-up, one or two at a time.
inline HuffmanCodes AcLikeCodes(Rng& rng, Shape shape) {
    HuffmanCodes codes = RandomCodes(rng, shape);
    for (auto& symbol : codes.symbols) {
        const int pick = Uniform(rng, 0, 9);
        if (pick < 6)
            symbol = static_cast<std::uint8_t>(Uniform(rng, 0, 15) << 4 | Uniform(rng, 1, 3));
        if (pick == 6) symbol = static_cast<std::uint8_t>(Uniform(rng, 0, 1) == 0 ? 0x00 : 0xF0);
    }
    return codes;
}

// Symbols as DC tables hold them: categories 0 to 11, and now and then one
// up to 16, which decoding refuses.
inline HuffmanCodes DcLikeCodes(Rng& rng, Shape shape) {
    HuffmanCodes codes = RandomCodes(rng, shape);
    for (auto& symbol : codes.symbols)
        symbol = static_cast<std::uint8_t>(Uniform(rng, 0, 19) == 0 ? Uniform(rng, 12, 16)
                                                                    : Uniform(rng, 0, 11));
    return codes;
}

}  // namespace Tessera::Testing
