#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "bit_reader.h"
#include "huffman_table.h"

namespace Tessera {

// A BitReader's bits taken over for the decoding of one data unit: held in
// locals, which the compiler keeps in registers across the unit's codes, and
// refilled without the reader's checks for as long as plain data lies ahead
// (no marker, and the buffer going on), which is nearly all of a scan.
//
// Refill says when the plain data ahead runs short. The unit's decoding then
// stops where it stands; the window hands the bits back to the reader when it
// goes (or at Commit), and the decoding goes on through the reader, whose
// careful reads meet markers and the buffer's end exactly as the stream's
// own reads do. Nothing taken through a window fails.
class BitWindow {
  public:
    // Enough bits for any code with its extra bits: a 16-bit code and the 15
    // bits that a size of four bits can ask for.
    static constexpr int kSymbolBits = HuffmanTable::kMaxCodeLength + 15;
    // The most bits Ensure can promise: a refill stops at 56 to 63.
    static constexpr int kMostBits = 56;

    explicit BitWindow(BitReader& reader)
        : reader(reader),
          accumulator(reader.accumulator),
          count(reader.count),
          last(reader.last),
          plainEnd(reader.plainEnd) {}
    BitWindow(const BitWindow&) = delete;
    BitWindow& operator=(const BitWindow&) = delete;
    ~BitWindow() { Commit(); }

    // Hands the bits back to the reader (once more is harmless).
    void Commit() {
        reader.accumulator = accumulator;
        reader.count = count;
        reader.last = last;
        reader.loadedBits += loaded;
        loaded = 0;
    }

    // At least kSymbolBits bits at hand; false when that would take a
    // careful read (the window's bits are then unchanged).
    bool Ensure() { return count >= kSymbolBits || Refill(); }
    // At least `bits` bits at hand (at most kMostBits), as Ensure.
    bool Ensure(int bits) { return count >= bits || Refill(); }
    // The next n bits, n from 1 to 32, first bit most significant.
    std::uint32_t Peek(int n) const {
        return static_cast<std::uint32_t>(accumulator >> (kAccumulatorBits - n));
    }
    // The bits at hand, first bit most significant, zeros after the last.
    std::uint64_t PeekAll() const { return accumulator; }
    void Consume(int n) {
        accumulator <<= n;
        count -= n;
    }
    // The signed value of the next n bits, n from 0 to 16 (T.81 EXTEND).
    int TakeExtended(int n) {
        if (n == 0) return 0;
        const auto bits = static_cast<unsigned>(accumulator >> (kAccumulatorBits - n));
        Consume(n);
        return Extend(bits, n);
    }
    // The next bit.
    int TakeBit() {
        const auto bit = static_cast<int>(accumulator >> (kAccumulatorBits - 1));
        Consume(1);
        return bit;
    }

  private:
    static constexpr int kAccumulatorBits = 64;
    // A refill loads data bytes until more than this many bits are held.
    static constexpr int kFullEnough = kAccumulatorBits - 8;
    static_assert(kMostBits == kFullEnough);
    // A refill loads at most eight data bytes after the current one, each
    // one or two bytes on (past a stuffed zero), so it reads no further than
    // this past the current byte; the eight-byte load reads up to 9.
    static constexpr std::ptrdiff_t kRefillReach = 2 * 8;

    // Inlined wherever it is used: a call would take the window's address,
    // and the compiler would then store the bits and their count to memory
    // at every code of a decode loop.
    [[gnu::always_inline]] bool Refill() {
        if (plainEnd - last <= kRefillReach) {
            plainEnd = reader.ExtendPlainData(last);
            if (plainEnd - last <= kRefillReach) return false;
        }
        TopUp();
        return true;
    }
    void TopUp() {
        std::uint64_t next = 0;
        std::memcpy(&next, last + 1, sizeof next);
        if constexpr (std::endian::native == std::endian::little) next = __builtin_bswap64(next);
        const std::uint64_t inverted = ~next;  // a 0xFF byte becomes a zero byte
        const bool anyFF =
            ((inverted - 0x0101010101010101u) & ~inverted & 0x8080808080808080u) != 0;
        if (*last == 0xFF || anyFF) {
            RefillByteByByte();
            return;
        }
        // Whole bytes up to 56 to 63 bits; the bits below stay zero.
        const int filled = count | (kFullEnough & ~7);
        accumulator |= (next >> count) & ~(~std::uint64_t{0} >> filled);
        last += static_cast<unsigned>(filled - count) / 8;
        loaded += filled - count;
        count = filled;
    }
    // Plain data: a 0xFF byte is always followed by its stuffed zero.
    void RefillByteByByte() {
        while (count <= kFullEnough) {
            last += *last == 0xFF ? 2 : 1;
            accumulator |= static_cast<std::uint64_t>(*last) << (kFullEnough - count);
            count += 8;
            loaded += 8;
        }
    }

    BitReader& reader;
    std::uint64_t accumulator;
    int count;
    const std::uint8_t* last;
    const std::uint8_t* plainEnd;
    // Bits loaded since the window took over.
    int loaded = 0;
};

}  // namespace Tessera
