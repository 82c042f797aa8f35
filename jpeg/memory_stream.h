#pragma once

#include <cstdint>
#include <span>

#include "input_byte_stream.h"

namespace Tessera {

// An InputByteStream over bytes that are all in memory already (a file read by
// a tool, a test's own bytes). The bytes are borrowed and must outlive the stream.
class MemoryStream : public virtual InputByteStream {
  public:
    MemoryStream() = default;
    explicit MemoryStream(std::span<const std::uint8_t> bytes) { Open(bytes); }

    void Open(std::span<const std::uint8_t> bytes) {
        SetBuffer(bytes.data(), bytes.data() + bytes.size());
    }

  protected:
    void Refill() override {}  // everything is buffered from the start
    bool AtEnd() override { return ReadPointer() >= BufferEnd(); }
};

}  // namespace Tessera
