#include "huffman_table.h"

#include <algorithm>

#include "input_byte_stream.h"
#include "tessera/jpeg.h"

namespace Tessera {

int HuffmanTable::LoadTable(InputByteStream& stream) {
    std::array<std::uint8_t, kMaxCodeLength> counts{};
    unsigned total = 0;
    for (auto& count : counts) {
        count = stream.ReadByte();
        total += count;
    }
    if (total > kMaxSymbols) throw JpegBadStream("Huffman count > 256");

    // Build into a copy so that a table refused below keeps its earlier state.
    HuffmanTable loaded;
    for (unsigned i = 0; i < total; ++i) loaded.symbols[i] = stream.ReadByte();
    if (!loaded.ComputeCodes(counts)) throw JpegBadStream("Bad Huffman Table");
    loaded.ComputeQuickMatches();
    loaded.defined = true;
    *this = loaded;
    return kMaxCodeLength + static_cast<int>(total);
}

bool HuffmanTable::ComputeCodes(const std::array<std::uint8_t, kMaxCodeLength>& counts) {
    // T.81 Figure C.2, one code length at a time: the codes of a length are
    // consecutive, and the first code of the next length is the one after the
    // last, doubled once per length step (also across lengths without codes).
    std::uint32_t code = 0;
    int position = 0;
    shortestLength = 0;
    for (int length = 1; length <= kMaxCodeLength; ++length) {
        const int n = counts[length - 1];
        if (n == 0) {
            maxcode[length - 1] = -1;
            mincode[length - 1] = 0;
            valptr[length - 1] = 0;
        } else {
            if (shortestLength == 0) shortestLength = length;
            // All n codes must fit in `length` bits; otherwise two codes
            // would share a prefix and decoding could index past the symbols.
            if (code + n > (1u << length)) return false;
            valptr[length - 1] = static_cast<std::uint8_t>(position);
            mincode[length - 1] = static_cast<std::int32_t>(code);
            code += n;
            position += n;
            maxcode[length - 1] = static_cast<std::int32_t>(code - 1);
        }
        code <<= 1;
    }
    return true;
}

HuffmanTable::Match HuffmanTable::Search(std::uint32_t bits, int from, int to) const {
    for (int length = from; length <= to; ++length) {
        const auto code = static_cast<std::int32_t>(bits >> (kMaxCodeLength - length));
        if (code <= maxcode[length - 1])
            return {symbols[valptr[length - 1] + code - mincode[length - 1]],
                    static_cast<std::uint8_t>(length)};
    }
    return {0, 0};
}

HuffmanTable::Match HuffmanTable::LookupLong(std::uint32_t bits) const {
    if (shortestLength == 0) return {0, 0};
    return Search(bits, std::max(shortestLength, kQuickBits + 1), kMaxCodeLength);
}

void HuffmanTable::ComputeQuickMatches() {
    quickMatches.fill({0, 0});
    quickValues.fill({0, 0, 0});
    if (shortestLength == 0) return;
    for (std::uint32_t prefix = 0; prefix < quickMatches.size(); ++prefix) {
        const Match match =
            Search(prefix << (kMaxCodeLength - kQuickBits), shortestLength, kQuickBits);
        quickMatches[prefix] = match;
        const int size = match.symbol & 15;
        const int total = match.length + size;
        if (match.length == 0 || total > kQuickBits) continue;
        const unsigned extra = (prefix >> (kQuickBits - total)) & ((1u << size) - 1);
        quickValues[prefix] = {static_cast<std::int16_t>(Extend(extra, size)), match.symbol,
                               static_cast<std::uint8_t>(total)};
    }
}

std::uint8_t HuffmanTable::DecodeSymbol(InputByteStream& stream) const {
    // A table without codes matches no bit string at all.
    if (shortestLength == 0) throw JpegBadStream("Bad Huffman Code Length");

    // No code is shorter than shortestLength, so its bits are taken at once.
    int length = shortestLength;
    std::int32_t code = static_cast<std::int32_t>(stream.ReadBits(length));
    while (code > maxcode[length - 1]) {
        if (length == kMaxCodeLength) throw JpegBadStream("Bad Huffman Code Length");
        code = ((code << 1) | stream.ReadBit()) & 0xFFFF;
        ++length;
    }
    return symbols[valptr[length - 1] + code - mincode[length - 1]];
}

}  // namespace Tessera
