#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "huffman_table.h"
#include "input_byte_stream.h"

namespace Tessera {

// The fast path of a stream's bit mode: the entropy-coded bytes of the
// stream's current buffer go into a 64-bit accumulator several at a time,
// stuffed zero bytes already removed, so a Huffman code and its extra bits
// are usually taken with one table look-up and two shifts.
//
// It delivers exactly the bits, values and failures of the stream's own
// ReadBit, ReadBits and HuffmanTable::DecodeSymbol. Only bytes that are
// certainly data are loaded: loading stops before a 0xFF that is not
// followed by a stuffed 0x00 (a marker) and at the end of the stream's
// buffer. A read that needs more bits than are loaded hands the position
// back to the stream and lets the stream's own procedure do that one read,
// with its refills, its end-of-data checks and its messages; then loading
// resumes from the stream's new position.
//
// While a reader is attached the stream's own position is stale; Detach (or
// the destructor, on the way out of a failure) writes it back, so the stream
// always stands where the equivalent byte-at-a-time reads would have left it.
class BitReader {
  public:
    // Takes over the stream's position; the stream must be in bit mode.
    explicit BitReader(InputByteStream& stream) : stream(stream) { Attach(); }
    BitReader(const BitReader&) = delete;
    BitReader& operator=(const BitReader&) = delete;
    ~BitReader() { Detach(); }

    // Writes the position back to the stream (before the stream is used
    // directly, e.g. to leave bit mode), and picks it up again afterwards.
    void Detach();
    void Attach();
    InputByteStream& Stream() { return stream; }

    // n from 0 to 16, as InputByteStream::ReadBits.
    unsigned ReadBits(int n) {
        if (count < n) Refill();
        if (count < n) return ByTheStream([&] { return stream.ReadBits(n); });
        return Take(n);
    }
    int ReadBit() {
        if (count < 1) Refill();
        if (count < 1) return ByTheStream([&] { return stream.ReadBit(); });
        return static_cast<int>(Take(1));
    }
    // A signed value of n extra bits (T.81 EXTEND), as Extend(ReadBits(n), n).
    int ReadExtended(int n) { return Extend(ReadBits(n), n); }
    std::uint8_t DecodeSymbol(const HuffmanTable& table) {
        if (count < HuffmanTable::kMaxCodeLength) Refill();
        if (count < HuffmanTable::kMaxCodeLength) return DecodeSymbolByTheStream(table);
        const HuffmanTable::Match match = table.Lookup(static_cast<std::uint32_t>(
            accumulator >> (kAccumulatorBits - HuffmanTable::kMaxCodeLength)));
        if (match.length == 0) return DecodeSymbolByTheStream(table);  // the stream reports it
        Consume(match.length);
        return match.symbol;
    }

    // The code and extra bits at the front, when the table has them as one
    // QuickValue; length 0 (nothing taken) otherwise. Take it with Skip.
    HuffmanTable::QuickValue PeekValue(const HuffmanTable& table) {
        if (count < HuffmanTable::kMaxCodeLength) Refill();
        if (count < HuffmanTable::kMaxCodeLength) return {0, 0, 0};
        return table.LookupValue(static_cast<std::uint32_t>(
            accumulator >> (kAccumulatorBits - HuffmanTable::kMaxCodeLength)));
    }
    // Drops n bits that a Peek has shown to be there.
    void Skip(int n) { Consume(n); }

  private:
    static constexpr int kAccumulatorBits = 64;
    // Loading stops once this many bits are held: room for one more byte.
    static constexpr int kFullEnough = kAccumulatorBits - 8;

    unsigned Take(int n) {
        // n = 0 must not shift by 64.
        const unsigned value =
            n == 0 ? 0u : static_cast<unsigned>(accumulator >> (kAccumulatorBits - n));
        Consume(n);
        return value;
    }
    void Consume(int n) {
        accumulator <<= n;
        count -= n;
    }
    // Loads whole data bytes until kFullEnough bits are held, a marker or a
    // 0xFF whose partner lies past the buffer is next, or the buffer ends.
    void Refill() {
        if (!RefillWholeBytes()) RefillByteByByte();
    }
    // The usual case: no 0xFF among the current byte and the eight after it,
    // so the next whole bytes that fit are all plain data. False when it
    // does not apply.
    bool RefillWholeBytes() {
        if (end - last <= 8 || *last == 0xFF) return false;
        std::uint64_t next = 0;
        std::memcpy(&next, last + 1, sizeof next);
        if constexpr (std::endian::native == std::endian::little) next = __builtin_bswap64(next);
        const std::uint64_t inverted = ~next;  // a 0xFF byte becomes a zero byte
        if (((inverted - 0x0101010101010101u) & ~inverted & 0x8080808080808080u) != 0) return false;
        const int bytes = (kAccumulatorBits - count) / 8;
        const int bits = 8 * bytes;
        // Keep the bits below the new count zero.
        accumulator |=
            (bits == kAccumulatorBits ? next : next & ~(~std::uint64_t{0} >> bits)) >> count;
        count += bits;
        loadedBits += bits;
        last += bytes;
        return true;
    }
    void RefillByteByByte();
    // Extends the stretch of plain data known from `from` on (a data byte, or
    // a marker's 0xFF at the current byte) and returns its end: the first
    // marker (a 0xFF not followed by a stuffed 0x00), a 0xFF at the very end
    // of the buffer, or the buffer's end, or where this look stopped. Every
    // 0xFF before the end is data whose stuffed zero lies before it too.
    const std::uint8_t* ExtendPlainData(const std::uint8_t* from);
    // One read done by the stream's own procedure, from the exact position.
    template <typename Read>
    auto ByTheStream(Read read) -> decltype(read()) {
        Detach();
        const auto value = read();
        Attach();
        return value;
    }
    std::uint8_t DecodeSymbolByTheStream(const HuffmanTable& table) {
        return ByTheStream([&] { return table.DecodeSymbol(stream); });
    }

    InputByteStream& stream;
    // Unread bits, most significant first; the bits below them are zero.
    std::uint64_t accumulator = 0;
    int count = 0;
    // The stream's bitsLeft at Attach, and the bits loaded since then, those
    // of the current byte included (64 bits: a scan may be gigabytes long).
    int attachedBits = 0;
    std::int64_t loadedBits = 0;
    // The last data byte loaded (the stream's current byte when count is 0).
    const std::uint8_t* last = nullptr;
    const std::uint8_t* end = nullptr;
    // The stream's current byte when this stretch of loading began: data
    // bytes are never walked back beyond it.
    const std::uint8_t* first = nullptr;
    // The plain data known from the current byte on ends here; plainDone:
    // at a marker or the buffer's end, so that looking further finds nothing.
    const std::uint8_t* plainEnd = nullptr;
    bool plainDone = false;
    bool attached = false;

    friend class BitWindow;
};

}  // namespace Tessera
