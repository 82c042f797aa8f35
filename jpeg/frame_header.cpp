#include "frame_header.h"

#include <algorithm>

#include "input_byte_stream.h"
#include "marker_codes.h"

namespace Tessera {

namespace {

constexpr unsigned kSamplePrecision = 8;
// Identifiers are bytes; 255 is refused, as the decoder always has.
constexpr unsigned kLastComponentId = 254;
constexpr unsigned kMinSampling = 1;
constexpr unsigned kMaxSampling = 4;
constexpr unsigned kTableSlots = 4;
// The fixed fields (length 2, precision 1, height 2, width 2, count 1) and
// three bytes a component.
constexpr unsigned kFixedBytes = 8;
constexpr unsigned kBytesPerComponent = 3;

FrameComponent ReadComponent(InputByteStream& stream) {
    FrameComponent component;
    component.id = stream.ReadByte();
    if (component.id > kLastComponentId) throw JpegBadStream("Invalid Component Identifier");
    const std::uint8_t sampling = stream.ReadByte();
    component.horizontalSampling = sampling >> 4;
    if (component.horizontalSampling < kMinSampling || component.horizontalSampling > kMaxSampling)
        throw JpegError("Sampling Frequency Outside the Range 1-4");
    component.verticalSampling = sampling & 0x0F;
    if (component.verticalSampling < kMinSampling || component.verticalSampling > kMaxSampling)
        throw JpegError("Vertical Sampling Frequency Outside the Range 1-4");
    component.quantTable = stream.ReadByte();
    if (component.quantTable >= kTableSlots) throw JpegBadStream("Bad Quantization Table Index");
    return component;
}

// Strict decodes have always kept one component per identifier: a repeated
// identifier names the same component again, which ends with the last
// naming's factors and table.
void ShareRepeatedIdentifiers(FrameHeader& frame) {
    for (unsigned i = 0; i < frame.componentCount; ++i) {
        for (unsigned j = frame.componentCount; j-- > i;) {
            if (frame.components[j].id != frame.components[i].id) continue;
            frame.sharedWith[i] = j;
            frame.components[i] = frame.components[j];
            break;
        }
    }
}

}  // namespace

bool FrameHeader::Progressive() const {
    return code == SOF2 || code == SOF10;
}

bool FrameHeader::Arithmetic() const {
    return code == SOF9 || code == SOF10;
}

unsigned FrameHeader::BlocksPerMcu() const {
    unsigned blocks = 0;
    for (unsigned i = 0; i < componentCount; ++i)
        blocks += components[i].horizontalSampling * components[i].verticalSampling;
    return blocks;
}

FrameHeader ReadFrameHeader(InputByteStream& stream, std::uint8_t code, const FrameLimits& limits) {
    FrameHeader frame;
    frame.code = code;
    const unsigned length = stream.ReadBigEndian16();
    if (stream.ReadByte() != kSamplePrecision) throw JpegBadStream("Only 8-bit data supported");
    frame.height = stream.ReadBigEndian16();
    frame.width = stream.ReadBigEndian16();
    frame.componentCount = stream.ReadByte();
    // Tolerant decodes take four components too (CMYK and YCCK).
    const bool four = limits.tolerant && frame.componentCount == kMaxFrameComponents;
    if (frame.componentCount != 1 && frame.componentCount != 3 && !four)
        throw JpegBadStream("JFIF only supports 1 and 3 component streams");
    if (length != kFixedBytes + kBytesPerComponent * frame.componentCount)
        throw JpegBadStream("Invalid Frame Size");

    for (unsigned i = 0; i < frame.componentCount; ++i) {
        const FrameComponent component = ReadComponent(stream);
        frame.components[i] = component;
        frame.maxHorizontalSampling =
            std::max(frame.maxHorizontalSampling, component.horizontalSampling);
        frame.maxVerticalSampling = std::max(frame.maxVerticalSampling, component.verticalSampling);
    }
    if (!limits.tolerant) ShareRepeatedIdentifiers(frame);
    // Up-sampling repeats whole samples, so every component's factors must
    // divide the largest ones; otherwise the block grids and planes of the
    // components would not line up.
    for (unsigned i = 0; i < frame.componentCount; ++i) {
        const FrameComponent& component = frame.components[i];
        if (frame.maxHorizontalSampling % component.horizontalSampling != 0 ||
            frame.maxVerticalSampling % component.verticalSampling != 0)
            throw JpegBadStream("Unsupported Sampling Factors");
    }
    if (std::uint64_t{frame.width} * frame.height > limits.maxPixels)
        throw JpegBadStream("Image Too Large");

    const std::uint32_t mcuHeight = 8 * frame.maxVerticalSampling;
    const std::uint32_t mcuWidth = 8 * frame.maxHorizontalSampling;
    frame.mcuRows = (frame.height + mcuHeight - 1) / mcuHeight;
    frame.mcuColumns = (frame.width + mcuWidth - 1) / mcuWidth;
    return frame;
}

}  // namespace Tessera
