#pragma once

#include <cstddef>
#include <cstdint>

#include "tessera/jpeg.h"

namespace Tessera {

// The decoder's source of bytes and bits over a buffer window that a concrete
// stream supplies through Refill and AtEnd.
//
// Byte mode (bitsLeft < 0) serves marker segments; bit mode serves the
// entropy-coded data of a scan, most significant bit first, with the stuffed
// 0x00 after every 0xFF data byte removed (T.81 B.1.1.5). In bit mode the byte
// at readPointer stays current until another bit is wanted, so a marker that
// follows the data is found only when the reader steps away from its 0xFF.
class InputByteStream {
  public:
    // The library's exception for the byte and bit input (tessera/jpeg.h).
    using StreamError = Tessera::StreamError;

    InputByteStream() = default;
    InputByteStream(const InputByteStream&) = delete;
    InputByteStream& operator=(const InputByteStream&) = delete;
    virtual ~InputByteStream() = default;

    // --- byte mode ---

    // The next byte. With no byte to be had (the buffer is empty after
    // Refill) it delivers 0 and consumes nothing, so a segment cut short by
    // the end of the data reads zeros and the marker loop then finds the end.
    std::uint8_t ReadByte();
    // Two bytes, high byte first; bytes missing at the end of the data read as 0.
    std::uint16_t ReadBigEndian16();
    // Copies up to count bytes, stopping early at the end of the data; returns
    // how many were copied.
    std::size_t ReadBlock(std::uint8_t* destination, std::size_t count);
    // False exactly when the buffer is exhausted and the stream says its data has ended.
    bool HasData();

    // --- mode switches ---

    void StartBitReading();
    void StopBitReading();

    // Gives up the rest of the entropy-coded data up to the next marker among
    // the bytes the stream holds from `from` on (a byte of the current buffer
    // at or before the read position, for a marker that a failed read has
    // already consumed), leaving bit mode: every 0xFF followed by a stuffed
    // 0x00 is data. A restart marker is consumed (the stream stands after its
    // code); any other leaves the stream at its first 0xFF, for the marker
    // loop. Returns the marker's code, or -1 when the buffer holds no marker
    // (the stream then stands at the buffer's end).
    int SkipToMarker(const std::uint8_t* from);

    // Byte mode, for arithmetic-coded data (T.81 D.2.6, B.1.1.5): the next
    // data byte, a 0xFF with its stuffed 0x00 read as one 0xFF; -1 at a
    // marker (fill bytes included) or at the end of the data, which it leaves
    // unread. A 0xFF that ends a buffer is consumed to see what follows it.
    int ReadCodedByte();

    // --- bit mode ---

    int ReadBit();
    // n from 0 to 16; the next n bits as an unsigned number, first bit most significant.
    unsigned ReadBits(int n);

    // Inspection, for the decoder's own bookkeeping and for tests.
    const std::uint8_t* ReadPointer() const { return readPointer; }
    const std::uint8_t* BufferEnd() const { return bufferEnd; }
    int BitsLeft() const { return bitsLeft; }

  protected:
    // Make more bytes available by moving readPointer and bufferEnd. After it
    // either a byte lies between them or AtEnd is true.
    virtual void Refill() = 0;
    virtual bool AtEnd() = 0;

    void SetBuffer(const std::uint8_t* begin, const std::uint8_t* end) {
        readPointer = begin;
        bufferEnd = end;
    }

  private:
    // The buffered fast path of bit mode works on these fields directly.
    friend class BitReader;

    // The two operations that step to a new byte in bit mode report the same
    // conditions with slightly different texts; these are their three messages.
    struct StepMessages {
        const char* endAfterFF;
        const char* markerInData;
        const char* endAfterStep;
    };
    static const StepMessages kReadBitMessages;
    static const StepMessages kReadBitsMessages;

    bool BufferEmpty() const { return readPointer >= bufferEnd; }
    // Refills an empty buffer; true when a byte is available afterwards.
    bool EnsureByte();
    void StepToNextByte(const StepMessages& messages);

    const std::uint8_t* readPointer = nullptr;
    const std::uint8_t* bufferEnd = nullptr;
    int bitsLeft = -1;
};

// T.81 EXTEND (Figure F.12): the signed value of an n-bit received magnitude.
constexpr int Extend(unsigned v, int n) {
    if (n == 0) return 0;
    const int half = 1 << (n - 1);
    return static_cast<int>(v) < half ? static_cast<int>(v) - (1 << n) + 1 : static_cast<int>(v);
}

}  // namespace Tessera
