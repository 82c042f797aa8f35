#include "input_byte_stream.h"

#include <algorithm>
#include <cstring>

#include "plain_data.h"

namespace Tessera {

const InputByteStream::StepMessages InputByteStream::kReadBitMessages = {
    "Premature end of file", "Invalid Marker in Compressed Data", "Premature end of stream"};
const InputByteStream::StepMessages InputByteStream::kReadBitsMessages = {
    "Premature end of file", "Invalid Marker in Compressed Stream", "Premature end of file"};

bool InputByteStream::EnsureByte() {
    if (BufferEmpty()) Refill();
    return !BufferEmpty();
}

std::uint8_t InputByteStream::ReadByte() {
    if (!EnsureByte()) return 0;
    return *readPointer++;
}

std::uint16_t InputByteStream::ReadBigEndian16() {
    std::uint8_t bytes[2] = {0, 0};
    ReadBlock(bytes, 2);
    return static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
}

std::size_t InputByteStream::ReadBlock(std::uint8_t* destination, std::size_t count) {
    std::size_t copied = 0;
    while (copied < count) {
        if (BufferEmpty()) {
            if (AtEnd()) break;
            Refill();
            if (BufferEmpty()) break;  // a stream that breaks its contract must not make us spin
        }
        const std::size_t available = static_cast<std::size_t>(bufferEnd - readPointer);
        const std::size_t n = std::min(available, count - copied);
        std::memcpy(destination + copied, readPointer, n);
        readPointer += n;
        copied += n;
    }
    return copied;
}

bool InputByteStream::HasData() {
    return !(BufferEmpty() && AtEnd());
}

void InputByteStream::StartBitReading() {
    if (bitsLeft >= 0) return;
    // The first bits are taken from the byte at readPointer without a further
    // end check, so that byte must exist.
    if (!EnsureByte()) throw StreamError("Premature end of file");
    bitsLeft = 8;
}

void InputByteStream::StopBitReading() {
    if (bitsLeft < 0) return;
    if (*readPointer == 0xFF) {
        ++readPointer;
        if (!EnsureByte() && AtEnd()) throw StreamError("Premature end of file");
        if (BufferEmpty() || *readPointer != 0x00)
            throw StreamError("Invalid Marker in Compressed Stream");
    }
    ++readPointer;
    bitsLeft = -1;
}

void InputByteStream::StepToNextByte(const StepMessages& messages) {
    if (*readPointer == 0xFF) {
        ++readPointer;
        if (!EnsureByte()) throw StreamError(messages.endAfterFF);
        if (*readPointer != 0x00) throw StreamError(messages.markerInData);
    }
    ++readPointer;
    bitsLeft = 8;
    if (!EnsureByte()) throw StreamError(messages.endAfterStep);
}

int InputByteStream::SkipToMarker(const std::uint8_t* from) {
    bitsLeft = -1;
    const MarkerAt marker = NextMarker(from, bufferEnd);
    if (marker.prefix == nullptr) {
        readPointer = bufferEnd;
        return -1;
    }
    const std::uint8_t code = *marker.code;
    const bool restart = code >= 0xD0 && code <= 0xD7;
    readPointer = restart ? marker.code + 1 : marker.prefix;
    return code;
}

int InputByteStream::ReadCodedByte() {
    if (!EnsureByte()) return -1;
    if (*readPointer != 0xFF) return *readPointer++;
    if (readPointer + 1 < bufferEnd) {
        if (readPointer[1] != 0x00) return -1;
        readPointer += 2;
        return 0xFF;
    }
    ++readPointer;
    if (!EnsureByte() || *readPointer != 0x00) return -1;
    ++readPointer;
    return 0xFF;
}

int InputByteStream::ReadBit() {
    if (bitsLeft == 0) StepToNextByte(kReadBitMessages);
    --bitsLeft;
    return (*readPointer >> bitsLeft) & 1;
}

unsigned InputByteStream::ReadBits(int n) {
    if (n <= bitsLeft) {
        bitsLeft -= n;
        return (static_cast<unsigned>(*readPointer) >> bitsLeft) & ((1u << n) - 1);
    }
    unsigned result = 0;
    int remaining = n;
    if (bitsLeft > 0) {
        result = (*readPointer & ((1u << bitsLeft) - 1)) << (n - bitsLeft);
        remaining = n - bitsLeft;
    }
    while (remaining > 0) {
        StepToNextByte(kReadBitsMessages);
        if (remaining < 8) {
            result |= static_cast<unsigned>(*readPointer) >> (8 - remaining);
            bitsLeft = 8 - remaining;
            break;
        }
        remaining -= 8;
        result |= static_cast<unsigned>(*readPointer) << remaining;
        bitsLeft = 0;
    }
    return result;
}

}  // namespace Tessera
