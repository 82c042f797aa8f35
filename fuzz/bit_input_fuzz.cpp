// Fuzz target: the bit input on its own.
//
// The input is a little program followed by the data it reads:
//   byte 0        chunk size c (1..64): the stream hands the data out c bytes
//                 at a time, each chunk in its own exact-size allocation, so
//                 that any read past a chunk is an AddressSanitizer report;
//   byte 1        the program length p;
//   bytes 2..p+1  the program, one operation a byte (below);
//   the rest      the data.
// Three streams run the program in lockstep over the same data: the first as
// written, the second with every ReadBits(n) done as n single ReadBit calls,
// the third with its bits read through a BitReader (attached when bit mode
// starts, detached before it stops). All must deliver the same values, stand
// at the same position and fail at the same operations, the reader with the
// stream's own messages. The reader's stream is compared after an operation
// with an odd argument, a failure or a byte-mode operation (the reader is
// detached then and attached again), so that the reader otherwise keeps its
// loaded bits across operations. ReadByte and ReadBlock are also checked
// against the data itself.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "jpeg/bit_reader.h"
#include "jpeg/input_byte_stream.h"

namespace {

[[noreturn]] void Fail() {
    std::abort();
}

void Check(bool condition) {
    if (!condition) Fail();
}

class ChunkedStream : public Tessera::InputByteStream {
  public:
    ChunkedStream(const std::uint8_t* data, std::size_t size, std::size_t chunkSize) {
        for (std::size_t at = 0; at < size; at += chunkSize) {
            const std::size_t n = std::min(chunkSize, size - at);
            chunks.emplace_back(new std::uint8_t[n]);
            std::copy(data + at, data + at + n, chunks.back().get());
            sizes.push_back(n);
        }
    }

    // Bytes consumed so far: the chunks handed out before the current one
    // plus the current one's consumed part.
    std::size_t Offset() const {
        if (current == 0) return 0;
        return delivered - sizes[current - 1] +
               static_cast<std::size_t>(ReadPointer() - chunks[current - 1].get());
    }
    bool WithinCurrentChunk() const {
        if (current == 0) return ReadPointer() == nullptr && BufferEnd() == nullptr;
        const std::uint8_t* begin = chunks[current - 1].get();
        return BufferEnd() == begin + sizes[current - 1] && ReadPointer() >= begin &&
               ReadPointer() <= BufferEnd();
    }

  protected:
    void Refill() override {
        if (current == chunks.size()) return;
        SetBuffer(chunks[current].get(), chunks[current].get() + sizes[current]);
        delivered += sizes[current];
        ++current;
    }
    bool AtEnd() override { return current == chunks.size() && ReadPointer() >= BufferEnd(); }

  private:
    std::vector<std::unique_ptr<std::uint8_t[]>> chunks;
    std::vector<std::size_t> sizes;
    std::size_t current = 0;  // chunks handed out
    std::size_t delivered = 0;
};

enum Operation : std::uint8_t {
    kStartBitReading,
    kStopBitReading,
    kReadBit,
    kReadBits,
    kReadByte,
    kReadBlock,
    kHasData,
    kOperationCount
};

// Runs one operation; the value it delivers, or nothing when it threw (the
// message then in `failure`). With a reader, bits are read through it; it is
// made when bit mode starts and dropped before bit mode stops or a failure
// is reported.
std::optional<unsigned> Run(ChunkedStream& stream, std::uint8_t instruction, bool bitByBit,
                            const std::uint8_t* data, std::size_t size, std::string& failure,
                            std::optional<Tessera::BitReader>* reader = nullptr) {
    const auto operation = static_cast<Operation>(instruction % kOperationCount);
    const unsigned argument = instruction / kOperationCount;  // 0..36
    const bool bitMode = stream.BitsLeft() >= 0;
    try {
        switch (operation) {
            case kStartBitReading:
                stream.StartBitReading();
                if (reader != nullptr && !*reader) reader->emplace(stream);
                return 0;
            case kStopBitReading:
                if (reader != nullptr) reader->reset();
                stream.StopBitReading();
                return 0;
            case kReadBit:
                // Bit reads are defined in bit mode only.
                if (!bitMode) return 0;
                if (reader != nullptr) return static_cast<unsigned>((*reader)->ReadBit());
                return static_cast<unsigned>(stream.ReadBit());
            case kReadBits: {
                if (!bitMode) return 0;
                const int n = static_cast<int>(argument % 17);
                if (reader != nullptr) return (*reader)->ReadBits(n);
                if (!bitByBit) return stream.ReadBits(n);
                unsigned value = 0;
                for (int i = 0; i < n; ++i) value = value << 1 | unsigned(stream.ReadBit());
                return value;
            }
            case kReadByte: {
                if (bitMode) return 0;
                const std::size_t before = stream.Offset();
                const std::uint8_t byte = stream.ReadByte();
                // A byte that could be had is the data's next byte; none reads as 0.
                if (before < size) {
                    Check(stream.Offset() == before + 1 && byte == data[before]);
                } else {
                    Check(byte == 0);
                }
                return byte;
            }
            case kReadBlock: {
                if (bitMode) return 0;
                const std::size_t count = argument;
                const std::size_t before = stream.Offset();
                std::vector<std::uint8_t> block(count);
                const std::size_t copied = stream.ReadBlock(block.data(), count);
                Check(copied == std::min(count, size - before));
                Check(stream.Offset() == before + copied);
                Check(std::equal(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(copied),
                                 data + before));
                return static_cast<unsigned>(copied);
            }
            case kHasData:
                if (bitMode) return 0;
                return stream.HasData() ? 1 : 0;
            case kOperationCount:
                break;
        }
    } catch (const Tessera::InputByteStream::StreamError& e) {
        if (reader != nullptr) reader->reset();  // as its destructor would on the way out
        failure = e.what();
        return std::nullopt;
    }
    return 0;
}

void CheckInvariants(const ChunkedStream& stream, bool succeeded) {
    Check(stream.BitsLeft() >= -1 && stream.BitsLeft() <= 8);
    Check(stream.WithinCurrentChunk());
    // After a successful operation in bit mode the byte whose bits are read
    // must exist; a failed step may leave the pointer at the end.
    if (succeeded && stream.BitsLeft() >= 0) Check(stream.ReadPointer() < stream.BufferEnd());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    if (size < 2) return 0;
    const std::size_t chunkSize = input[0] % 64 + 1;
    const std::size_t programLength = std::min<std::size_t>(input[1], size - 2);
    const std::uint8_t* program = input + 2;
    const std::uint8_t* data = program + programLength;
    const std::size_t dataSize = size - 2 - programLength;

    ChunkedStream whole(data, dataSize, chunkSize);
    ChunkedStream bitwise(data, dataSize, chunkSize);
    ChunkedStream buffered(data, dataSize, chunkSize);
    std::optional<Tessera::BitReader> reader;
    for (std::size_t pc = 0; pc < programLength; ++pc) {
        const std::uint8_t instruction = program[pc];
        std::string failureA, failureB, failureC;
        const std::optional<unsigned> a = Run(whole, instruction, false, data, dataSize, failureA);
        const std::optional<unsigned> b = Run(bitwise, instruction, true, data, dataSize, failureB);
        const std::optional<unsigned> c =
            Run(buffered, instruction, false, data, dataSize, failureC, &reader);
        Check(a.has_value() == b.has_value());
        Check(a.has_value() == c.has_value());
        // The reader is detached here (and attached again below), so the
        // stream under it must stand where the others do.
        const bool compareBuffered = !c || !reader || instruction / kOperationCount % 2 == 1;
        if (reader && compareBuffered) reader.reset();
        // After a failure the stream is left where the failure happened; the
        // program ends there, as the decoder's picture would.
        CheckInvariants(whole, a.has_value());
        CheckInvariants(bitwise, b.has_value());
        if (compareBuffered) {
            CheckInvariants(buffered, c.has_value());
            Check(buffered.Offset() == whole.Offset());
            Check(buffered.BitsLeft() == whole.BitsLeft());
        }
        if (!a) {
            Check(failureC == failureA);
            return 0;
        }
        Check(*a == *b);
        Check(*a == *c);
        if (compareBuffered && buffered.BitsLeft() >= 0) reader.emplace(buffered);
        if (instruction % kOperationCount == kReadBits) {
            const unsigned n = instruction / kOperationCount % 17;
            Check(*a < (1u << n));
        }
        Check(whole.Offset() == bitwise.Offset());
        Check(whole.BitsLeft() == bitwise.BitsLeft());
        Check(whole.Offset() <= dataSize);
    }
    return 0;
}
