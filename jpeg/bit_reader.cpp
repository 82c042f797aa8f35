#include "bit_reader.h"

#include <cstring>

namespace Tessera {

namespace {

constexpr std::uint8_t kFF = 0xFF;

// Eight bytes from p, the first one most significant.
std::uint64_t LoadBigEndian64(const std::uint8_t* p) {
    std::uint64_t value = 0;
    std::memcpy(&value, p, sizeof value);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    value = __builtin_bswap64(value);
#endif
    return value;
}

// True when one of the eight bytes of v is 0xFF.
constexpr bool HasFF(std::uint64_t v) {
    const std::uint64_t inverted = ~v;  // a 0xFF byte becomes a zero byte
    return ((inverted - 0x0101010101010101u) & ~inverted & 0x8080808080808080u) != 0;
}

}  // namespace

void BitReader::Attach() {
    first = last = stream.readPointer;
    end = stream.bufferEnd;
    count = attachedBits = stream.bitsLeft;
    loadedBits = count;
    // The current byte's unread bits (its low bitsLeft bits) go on top.
    accumulator = count == 0 ? 0
                             : static_cast<std::uint64_t>(*last & ((1u << count) - 1))
                                   << (kAccumulatorBits - count);
    attached = true;
}

void BitReader::Detach() {
    if (!attached) return;
    attached = false;
    if (count == loadedBits) {
        // Not a bit taken: the stream stays exactly where it was.
        stream.readPointer = first;
        stream.bitsLeft = attachedBits;
        return;
    }
    // The stream's current byte is the one that gave the last bit taken; the
    // unread bits are its low count % 8 bits and the count / 8 whole bytes
    // loaded after it. Walking back over data bytes skips the zero stuffed
    // after a 0xFF: a 0x00 right after a loaded 0xFF can only be such a zero.
    const std::uint8_t* current = last;
    for (int back = count / 8; back > 0; --back) {
        const bool stuffed = current - 2 >= first && current[-1] == 0 && current[-2] == kFF;
        current -= stuffed ? 2 : 1;
    }
    stream.readPointer = current;
    stream.bitsLeft = count % 8;
}

void BitReader::Refill() {
    while (count <= kFullEnough) {
        // Fast case: no 0xFF among the current byte and the eight after it,
        // so the next whole bytes that fit are all plain data.
        if (end - last > 8 && *last != kFF) {
            const std::uint64_t next = LoadBigEndian64(last + 1);
            if (!HasFF(next)) {
                const int bytes = (kAccumulatorBits - count) / 8;
                const int bits = 8 * bytes;
                // Keep the bits below the new count zero.
                const std::uint64_t taken =
                    bits == kAccumulatorBits ? next : next & ~(~std::uint64_t{0} >> bits);
                accumulator |= taken >> count;
                count += bits;
                loadedBits += bits;
                last += bytes;
                return;
            }
        }
        // One byte at a time: step away from the current byte as the
        // stream would, but stop instead of failing or refilling.
        const std::uint8_t* next = last;
        if (*next == kFF) {
            if (end - next < 2 || next[1] != 0) return;  // a marker, or its partner is unloaded
            next += 2;
        } else {
            next += 1;
        }
        if (next >= end) return;
        accumulator |= static_cast<std::uint64_t>(*next) << (kAccumulatorBits - 8 - count);
        count += 8;
        loadedBits += 8;
        last = next;
    }
}

unsigned BitReader::ReadBitsFromStream(int n) {
    Detach();
    const unsigned value = stream.ReadBits(n);
    Attach();
    return value;
}

int BitReader::ReadBitFromStream() {
    Detach();
    const int value = stream.ReadBit();
    Attach();
    return value;
}

std::uint8_t BitReader::DecodeSymbolFromStream(const HuffmanTable& table) {
    Detach();
    const std::uint8_t symbol = table.DecodeSymbol(stream);
    Attach();
    return symbol;
}

}  // namespace Tessera
