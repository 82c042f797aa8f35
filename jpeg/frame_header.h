#pragma once

// The frame header (T.81 B.2.2) as a value: what the picture is, read and
// checked in one place.

#include <array>
#include <cstdint>

namespace Tessera {

class InputByteStream;

// Room for the components of any frame this decoder reads (one or three
// today; CMYK has four).
inline constexpr unsigned kMaxFrameComponents = 4;

struct FrameComponent {
    unsigned id = 0;  // the identifier scans name it by
    unsigned horizontalSampling = 1;
    unsigned verticalSampling = 1;
    unsigned quantTable = 0;  // the DQT slot, 0..3
};

struct FrameHeader {
    std::uint8_t code = 0;  // the SOF marker code
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    unsigned componentCount = 0;
    // In frame order.
    std::array<FrameComponent, kMaxFrameComponents> components{};
    // The position whose component position i stands for: i itself, except
    // in strict decodes of a frame that repeats an identifier, where every
    // position with that identifier is one component, the last one's (the
    // frame names it several times, and scans cannot tell them apart).
    std::array<unsigned, kMaxFrameComponents> sharedWith{0, 1, 2, 3};
    unsigned maxHorizontalSampling = 0;
    unsigned maxVerticalSampling = 0;
    // The grid of MCUs (T.81 A.2.4): 8 × the largest factors each, covering
    // the picture.
    std::uint32_t mcuRows = 0;
    std::uint32_t mcuColumns = 0;

    bool Progressive() const;
    // Arithmetic-coded (SOF9, SOF10) rather than Huffman-coded.
    bool Arithmetic() const;
    // Blocks in one MCU of an interleaved scan over every component.
    unsigned BlocksPerMcu() const;
    std::uint64_t Blocks() const { return std::uint64_t{mcuRows} * mcuColumns * BlocksPerMcu(); }
};

struct FrameLimits {
    bool tolerant = false;
    std::uint64_t maxPixels = 0;
};

// Reads the segment after its SOF marker `code` (SOF0, SOF1, SOF2, SOF9 or SOF10) and
// checks it; throws the decoder's messages for what it refuses.
FrameHeader ReadFrameHeader(InputByteStream& stream, std::uint8_t code, const FrameLimits& limits);

}  // namespace Tessera
