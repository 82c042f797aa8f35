#pragma once

#include <array>
#include <cstdint>

namespace Tessera {

class InputByteStream;

// One Huffman decoding table (T.81 Annex C, F.2.2.3): the DHT body turned into
// the maxcode / mincode / valptr arrays of Figure F.16.
class HuffmanTable {
  public:
    HuffmanTable() = default;
    virtual ~HuffmanTable() = default;

    // Reads one table body (16 code-length counts, then the symbol values) in
    // byte mode and returns the bytes it consumed, 16 + the number of values.
    int LoadTable(InputByteStream& stream);
    // Reads one code from a stream in bit mode and returns its symbol.
    std::uint8_t DecodeSymbol(InputByteStream& stream) const;
    bool IsDefined() const { return defined; }

    // The decoding arrays, entry L-1 for code length L; for tests and tools.
    int MaxCode(int length) const { return maxcode[length - 1]; }
    int MinCode(int length) const { return mincode[length - 1]; }
    int ValuePointer(int length) const { return valptr[length - 1]; }
    int ShortestLength() const { return shortestLength; }

  private:
    static constexpr int kMaxCodeLength = 16;
    static constexpr int kMaxSymbols = 256;

    // Builds the decoding arrays from the counts; false when the counts ask for
    // more codes of some length than that length can hold (the tree would
    // overflow), which no encoder produces.
    bool ComputeCodes(const std::array<std::uint8_t, kMaxCodeLength>& counts);

    std::array<std::int32_t, kMaxCodeLength> maxcode{};
    std::array<std::int32_t, kMaxCodeLength> mincode{};
    std::array<std::uint8_t, kMaxCodeLength> valptr{};
    std::array<std::uint8_t, kMaxSymbols> symbols{};
    bool defined = false;
    int shortestLength = 0;  // 0: the table has no codes at all
};

}  // namespace Tessera
