#include "huffman_table.h"

#include "input_byte_stream.h"
#include "jpeg_decoder.h"

namespace Tessera {

int HuffmanTable::LoadTable(InputByteStream& stream) {
    std::array<std::uint8_t, kMaxCodeLength> counts{};
    unsigned total = 0;
    for (auto& count : counts) {
        count = stream.ReadByte();
        total += count;
    }
    if (total > kMaxSymbols) throw JpegDecoder::JpegBadStream("Huffman count > 256");

    // Build into a copy so that a table refused below keeps its earlier state.
    HuffmanTable loaded;
    for (unsigned i = 0; i < total; ++i) loaded.symbols[i] = stream.ReadByte();
    if (!loaded.ComputeCodes(counts)) throw JpegDecoder::JpegBadStream("Bad Huffman Table");
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

std::uint8_t HuffmanTable::DecodeSymbol(InputByteStream& stream) const {
    // A table without codes matches no bit string at all.
    if (shortestLength == 0) throw JpegDecoder::JpegBadStream("Bad Huffman Code Length");

    // No code is shorter than shortestLength, so its bits are taken at once.
    int length = shortestLength;
    std::int32_t code = static_cast<std::int32_t>(stream.ReadBits(length));
    while (code > maxcode[length - 1]) {
        if (length == kMaxCodeLength) throw JpegDecoder::JpegBadStream("Bad Huffman Code Length");
        code = ((code << 1) | stream.ReadBit()) & 0xFFFF;
        ++length;
    }
    return symbols[valptr[length - 1] + code - mincode[length - 1]];
}

}  // namespace Tessera
