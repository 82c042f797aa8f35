#include "bit_reader.h"

#include "plain_data.h"

namespace Tessera {

namespace {

constexpr std::uint8_t kFF = 0xFF;
// Plain data is looked for this far ahead at a time: a few hundred blocks'
// worth, read again soon after, while it is still in the cache.
constexpr std::ptrdiff_t kPlainLookAhead = 4096;

}  // namespace

void BitReader::Attach() {
    // A stream in byte mode has no bits to take: a damaged scan whose rest
    // is filled (JpegDecoder::RecoverFromDamage) reads none.
    if (stream.bitsLeft < 0) {
        attached = false;
        return;
    }
    first = last = stream.readPointer;
    end = stream.bufferEnd;
    plainEnd = last;
    plainDone = false;
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

void BitReader::RefillByteByByte() {
    while (count <= kFullEnough) {
        if (RefillWholeBytes()) return;
        // Step away from the current byte as the stream would, but stop
        // instead of failing or refilling.
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

const std::uint8_t* BitReader::ExtendPlainData(const std::uint8_t* from) {
    if (!attached) return from;
    if (plainEnd < from) plainEnd = from;  // careful reads went further
    if (plainDone) return plainEnd;
    const std::uint8_t* at = plainEnd;
    const std::uint8_t* stop = end - at > kPlainLookAhead ? at + kPlainLookAhead : end;
    at = SkipPlainStretches(at, stop, end);
    while (at < stop) {
        const auto* ff = static_cast<const std::uint8_t*>(std::memchr(at, kFF, stop - at));
        if (ff == nullptr) {
            at = stop;
            break;
        }
        if (end - ff < 2 || ff[1] != 0) {
            plainDone = true;
            return plainEnd = ff;
        }
        at = ff + 2;
    }
    plainDone = at == end;
    return plainEnd = at;
}

}  // namespace Tessera
