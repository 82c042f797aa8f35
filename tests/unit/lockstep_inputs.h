#pragma once

// Byte sources for the tests that run the decoder's fast paths in lockstep
// with the stream's own procedures: the data in memory at once, or handed
// out in chunks, each allocation exactly its size so that a read past it is
// an AddressSanitizer report; and a failure told as its class and message.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "stream_builder.h"

namespace Tessera::Testing {

// The data in memory at once, in an allocation of exactly its size.
class MemoryInput : public MemoryStream {
  public:
    explicit MemoryInput(const Bytes& data) : bytes(data) { Open(bytes); }
    std::ptrdiff_t Offset() const { return ReadPointer() - bytes.data(); }

  private:
    Bytes bytes;
};

// The data handed out in chunks, each in its own exact-size allocation, so
// that the reader meets the end of its buffer in the middle of the data.
class ChunkedInput : public InputByteStream {
  public:
    ChunkedInput(const Bytes& data, const std::vector<std::size_t>& chunkSizes) {
        for (std::size_t at = 0, i = 0; at < data.size(); ++i) {
            const std::size_t n = std::min(chunkSizes[i % chunkSizes.size()], data.size() - at);
            chunks.emplace_back(new std::uint8_t[n]);
            std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(at), n, chunks.back().get());
            starts.push_back(at);
            sizes.push_back(n);
            at += n;
        }
    }
    std::ptrdiff_t Offset() const {
        if (current == 0) return 0;
        return static_cast<std::ptrdiff_t>(starts[current - 1]) +
               (ReadPointer() - chunks[current - 1].get());
    }

  protected:
    void Refill() override {
        if (current == chunks.size()) return;
        SetBuffer(chunks[current].get(), chunks[current].get() + sizes[current]);
        ++current;
    }
    bool AtEnd() override { return current == chunks.size() && ReadPointer() >= BufferEnd(); }

  private:
    std::vector<std::unique_ptr<std::uint8_t[]>> chunks;
    std::vector<std::size_t> starts, sizes;
    std::size_t current = 0;
};

// A failure's class and message, for comparing outcomes.
inline std::string Describe(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const JpegDecoder::JpegBadStream& e) {
        return std::string("JpegBadStream: ") + e.what();
    } catch (const JpegDecoder::JpegError& e) {
        return std::string("JpegError: ") + e.what();
    } catch (const InputByteStream::StreamError& e) {
        return std::string("StreamError: ") + e.what();
    } catch (const std::exception& e) {
        return std::string("other: ") + e.what();
    }
}

}  // namespace Tessera::Testing
