// The decode loop and the marker segments of a JFIF stream (T.81 B.2, JFIF 1.02).
#include <algorithm>
#include <array>
#include <span>

#include "application_segments.h"
#include "bit_reader.h"
#include "image/raster_image.h"
#include "input_byte_stream.h"
#include "jpeg_decoder.h"

namespace Tessera {

namespace {

constexpr std::uint8_t kMarkerPrefix = 0xFF;

// Marker codes (T.81 Table B.1).
enum Marker : std::uint8_t {
    SOF0 = 0xC0,  // baseline
    SOF1 = 0xC1,  // extended sequential, Huffman
    SOF2 = 0xC2,  // progressive, Huffman
    SOF3 = 0xC3,
    DHT = 0xC4,
    SOF5 = 0xC5,
    SOF6 = 0xC6,
    SOF7 = 0xC7,
    SOF9 = 0xC9,
    SOF10 = 0xCA,
    SOF11 = 0xCB,
    SOF13 = 0xCD,
    SOF14 = 0xCE,
    SOF15 = 0xCF,
    SOI = 0xD8,
    EOI = 0xD9,
    SOS = 0xDA,
    DQT = 0xDB,
    DRI = 0xDD,
    DHP = 0xDE,
    APP0 = 0xE0,
    APP1 = 0xE1,
    APP2 = 0xE2,
    APP14 = 0xEE,
    APP15 = 0xEF,
    COM = 0xFE,
};

// The JFIF APP0 fields from the length to the thumbnail height.
constexpr int kJfifHeaderBytes = 16;
constexpr int kSegmentLengthBytes = 2;
constexpr int kQuantValues = 64;
constexpr std::uint8_t kCarriageReturn = 13;
constexpr std::uint8_t kLineFeed = 10;
constexpr unsigned kMaxSpectralIndex = 63;
constexpr unsigned kTableSlots = 4;

// Reads and drops count bytes, fewer if the data ends first.
void SkipBytes(InputByteStream& stream, std::size_t count) {
    std::array<std::uint8_t, 256> scratch;
    while (count > 0) {
        const std::size_t chunk = std::min(count, scratch.size());
        if (stream.ReadBlock(scratch.data(), chunk) < chunk) return;
        count -= chunk;
    }
}

}  // namespace

void JpegDecoder::CheckJfifHeader(InputByteStream& stream) {
    if (stream.ReadByte() != kMarkerPrefix || stream.ReadByte() != SOI)
        throw JpegBadStream("Missing SOI Marker");
    if (stream.ReadByte() != kMarkerPrefix || stream.ReadByte() != APP0)
        throw JpegBadStream("Missing JFIF APP0 Marker");

    std::array<std::uint8_t, kJfifHeaderBytes> header{};
    stream.ReadBlock(header.data(), header.size());
    const unsigned length = header[0] << 8 | header[1];
    // Identifier "JFIF\0"; only its first four bytes matter. Version, density
    // and thumbnail size are not used.
    if (!std::equal(header.begin() + 2, header.begin() + 6, "JFIF"))
        throw JpegBadStream("Not a JFIF file");
    facts.jfif = true;
    if (length > kJfifHeaderBytes) SkipBytes(stream, length - kJfifHeaderBytes);
}

bool JpegDecoder::RunMarkerLoop(InputByteStream& stream, bool resume) {
    std::uint8_t byte = resume ? 0 : stream.ReadByte();
    for (;;) {
        if (!resume) {
            if (!stream.HasData() || endOfImageSeen) return false;
            if (byte == kMarkerPrefix) {
                HandleMarker(stream);
                if (endOfImageSeen) return false;
                if (scanMarkerRead) return true;
            }
        }
        resume = false;
        // Bytes between segments other than 0xFF are passed over. A read that
        // finds no byte at all ends the loop (the caller then reports the
        // missing EOI); one that takes the very last byte is a cut-off stream.
        if (!stream.HasData()) return false;
        byte = stream.ReadByte();
        if (!stream.HasData()) throw JpegBadStream("Premature end of file");
    }
}

void JpegDecoder::BeginPicture(InputByteStream& stream) {
    EndDecode();
    StartPicture(nullptr);
    // Other decoders take any segments between SOI and the frame: JFIF is
    // one of the APPn segments then, and need not come first, or at all.
    if (settings.tolerant) {
        if (stream.ReadByte() != kMarkerPrefix || stream.ReadByte() != SOI)
            throw JpegBadStream("Missing SOI Marker");
    } else {
        CheckJfifHeader(stream);
    }
}

bool JpegDecoder::ReadSegmentsToScan(InputByteStream& stream) {
    const bool resume = scanMarkerRead;
    scanMarkerRead = false;
    stopAtScan = true;
    const bool atScan = RunMarkerLoop(stream, resume);
    stopAtScan = false;
    return atScan;
}

void JpegDecoder::DecodeScan(InputByteStream& stream) {
    ReadScanHeader(stream);
    DecodeScanData(stream);
}

void JpegDecoder::FinishPicture(InputByteStream& stream) {
    if (!endOfImageSeen) throw JpegBadStream("End of Image Marker Not Found");
    if (!settings.tolerant) CheckTrailingData(stream);
}

void JpegDecoder::CheckTrailingData(InputByteStream& stream) {
    // Line ends after EOI are tolerated (text-mode transfers add them); the
    // test is made after a byte has been read, so one last byte of any value passes.
    std::uint8_t byte = stream.ReadByte();
    while ((byte == kCarriageReturn || byte == kLineFeed) && stream.HasData())
        byte = stream.ReadByte();
    if (stream.HasData()) throw JpegBadStream("Extra Data After End of Image Marker");
}

void JpegDecoder::HandleMarker(InputByteStream& stream) {
    for (;;) {
        if (!stream.HasData()) throw JpegBadStream("Premature end of file");
        const std::uint8_t code = stream.ReadByte();
        switch (code) {
            case SOF0:
            case SOF1:
            case SOF2:
                LoadFrameHeader(stream, code);
                return;
            case SOF3:
                throw JpegBadStream("Lossless Huffman Coding Not Supported");
            case DHT:
                LoadHuffmanTables(stream);
                return;
            case SOF5:
                throw JpegBadStream("Differential Sequential Huffman Coding Not Supported");
            case SOF6:
                throw JpegBadStream("Differential Progressive Huffman Coding Not Supported");
            case SOF7:
                throw JpegBadStream("Differential Lossless Huffman Coding Not Supported");
            case SOF9:
            case SOF10:
            case SOF11:
            case SOF13:
            case SOF14:
            case SOF15:
                throw JpegBadStream("Cannot read image - Arithmetic Coding covered by patents");
            case SOI:
                return;
            case EOI:
                endOfImageSeen = true;
                return;
            case SOS:
                if (stopAtScan)
                    scanMarkerRead = true;  // the caller takes the scan from here
                else
                    LoadScanHeader(stream);
                return;
            case DQT:
                LoadQuantTables(stream);
                return;
            case DRI:
                LoadRestartInterval(stream);
                return;
            case DHP:
                throw JpegBadStream("DHP marker not supported");
            case kMarkerPrefix:
                continue;  // a fill byte before the code
            default:
                if ((code >= APP0 && code <= APP15) || code == COM) {
                    SkipApplicationSegment(stream, code);
                    return;
                }
                throw JpegBadStream("Unknown, unsupported, or reserved marker encountered");
        }
    }
}

void JpegDecoder::SkipApplicationSegment(InputByteStream& stream, std::uint8_t code) {
    const unsigned length = stream.ReadBigEndian16();
    // A length below 2 (which would not even cover itself) skips nothing.
    if (length <= kSegmentLengthBytes) return;
    if (code == APP0 || code == APP1 || code == APP2 || code == APP14)
        ParseApplicationSegment(stream, code, length - kSegmentLengthBytes);
    else
        SkipBytes(stream, length - kSegmentLengthBytes);
}

// The segments that say what a picture is besides its frame: JFIF (APP0),
// Exif (APP1: the orientation), ICC (APP2) and Adobe (APP14: the colour
// transform). They consume exactly what a skipped segment does.
void JpegDecoder::ParseApplicationSegment(InputByteStream& stream, std::uint8_t code,
                                          unsigned length) {
    segmentPayload.resize(length);
    segmentPayload.resize(stream.ReadBlock(segmentPayload.data(), length));
    const std::span<const std::uint8_t> payload(segmentPayload);
    switch (code) {
        case APP0:
            facts.jfif = facts.jfif || IsJfifSegment(payload);
            break;
        case APP1:
            if (const unsigned orientation = ExifOrientation(payload); orientation != 0)
                facts.orientation = orientation;
            break;
        case APP2:
            facts.iccProfile = facts.iccProfile || IsIccProfileSegment(payload);
            break;
        case APP14:
            if (const int transform = AdobeTransform(payload); transform >= 0)
                facts.adobeTransform = transform;
            break;
        default:
            break;
    }
}

void JpegDecoder::LoadHuffmanTables(InputByteStream& stream) {
    // Signed, so that tables overrunning the segment (or data ending inside
    // it, which reads as zero counts) end the loop instead of wrapping it.
    std::int32_t remaining = std::int32_t{stream.ReadBigEndian16()} - kSegmentLengthBytes;
    while (remaining > 0) {
        const std::uint8_t classAndIndex = stream.ReadByte();
        --remaining;
        const unsigned index = classAndIndex & 0x0F;
        const unsigned tableClass = classAndIndex >> 4;
        if (index >= kTableSlots) throw JpegBadStream("Huffman Table Index outside range [0..3]");
        HuffmanTable& table = tableClass == 0 ? dcTables[index] : acTables[index];
        remaining -= table.LoadTable(stream);
    }
}

void JpegDecoder::LoadQuantTables(InputByteStream& stream) {
    std::int32_t remaining = std::int32_t{stream.ReadBigEndian16()} - kSegmentLengthBytes;
    while (remaining > 0) {
        const std::uint8_t precisionAndIndex = stream.ReadByte();
        --remaining;
        const unsigned index = precisionAndIndex & 0x0F;
        const unsigned precision = precisionAndIndex >> 4;
        if (index >= kTableSlots) throw JpegBadStream("Quantization Table Index Too Large");
        if (precision == 0) remaining -= kQuantValues;
        if (precision == 1) remaining -= 2 * kQuantValues;
        // Encoders write 16-bit tables for 8-bit samples at low qualities
        // (marking the frame extended); the scan checks the frame's kind.
        quantTables[index].LoadTable(stream, precision, settings.tolerant);
    }
}

void JpegDecoder::LoadRestartInterval(InputByteStream& stream) {
    stream.ReadBigEndian16();  // the length: the segment holds exactly one value
    restartInterval = stream.ReadBigEndian16();
}

bool JpegDecoder::IsFrameComponent(unsigned id) const {
    const auto* begin = frameComponentIds.begin();
    return std::find(begin, begin + frameComponentCount, id) != begin + frameComponentCount;
}

void JpegDecoder::LoadFrameHeader(InputByteStream& stream, std::uint8_t code) {
    // Components size their buffers once per picture, from the first frame.
    if (frameSeen) throw JpegBadStream("Multiple Frame Headers Not Supported");
    progressive = code == SOF2;
    facts.frameCode = code;
    const unsigned length = stream.ReadBigEndian16();
    if (stream.ReadByte() != 8) throw JpegBadStream("Only 8-bit data supported");
    frameHeight = stream.ReadBigEndian16();
    frameWidth = stream.ReadBigEndian16();
    const unsigned count = stream.ReadByte();
    frameComponentCount = count;
    if (count != 1 && count != 3)
        throw JpegBadStream("JFIF only supports 1 and 3 component streams");
    if (length != 8 + 3 * count) throw JpegBadStream("Invalid Frame Size");

    maxHorizontalSampling = 0;
    maxVerticalSampling = 0;
    for (unsigned i = 0; i < count; ++i) {
        const unsigned id = stream.ReadByte();
        if (id >= kComponentSlots) throw JpegBadStream("Invalid Component Identifier");
        frameComponentIds[i] = id;
        JpegComponent& component = components[id];
        const std::uint8_t sampling = stream.ReadByte();
        component.SetHorizontalSampling(sampling >> 4);
        component.SetVerticalSampling(sampling & 0x0F);
        const unsigned q = stream.ReadByte();
        if (q >= kTableSlots) throw JpegBadStream("Bad Quantization Table Index");
        component.SetQuantTable(quantTables[q]);
        maxHorizontalSampling = std::max(maxHorizontalSampling, component.HorizontalSampling());
        maxVerticalSampling = std::max(maxVerticalSampling, component.VerticalSampling());
    }
    // Up-sampling repeats whole samples, so every component's factors must
    // divide the largest ones; otherwise the block grids and planes of the
    // components would not line up.
    for (unsigned i = 0; i < count; ++i) {
        const JpegComponent& component = components[frameComponentIds[i]];
        if (maxHorizontalSampling % component.HorizontalSampling() != 0 ||
            maxVerticalSampling % component.VerticalSampling() != 0)
            throw JpegBadStream("Unsupported Sampling Factors");
    }
    if (std::uint64_t{frameWidth} * frameHeight > settings.maxPixels)
        throw JpegBadStream("Image Too Large");

    ComputeMcuGeometry();
    std::uint64_t blocksPerMcu = 0;
    for (unsigned i = 0; i < count; ++i) {
        const JpegComponent& component = components[frameComponentIds[i]];
        blocksPerMcu += component.HorizontalSampling() * component.VerticalSampling();
    }
    frameBlocks = std::uint64_t{mcuRows} * mcuColumns * blocksPerMcu;
    // Every pixel is either written by a conversion or zeroed at the end.
    if (image != nullptr)
        pixelsZeroed = image->SetSizeReusing(static_cast<int>(frameWidth),
                                             static_cast<int>(frameHeight), sparePixels);
    frameSeen = true;
}

void JpegDecoder::ComputeMcuGeometry() {
    const std::uint32_t mcuHeight = 8 * maxVerticalSampling;
    const std::uint32_t mcuWidth = 8 * maxHorizontalSampling;
    mcuRows = (frameHeight + mcuHeight - 1) / mcuHeight;
    mcuColumns = (frameWidth + mcuWidth - 1) / mcuWidth;
}

void JpegDecoder::LoadScanHeader(InputByteStream& stream) {
    ReadScanHeader(stream);
    DecodeScanData(stream);
}

void JpegDecoder::ReadScanHeader(InputByteStream& stream) {
    if (!frameSeen) throw JpegBadStream("Scan found before frame defined");
    if (scansDone == settings.maxScans) throw JpegBadStream("Too Many Scans");
    stream.ReadBigEndian16();  // the length is implied by the component count
    const unsigned count = stream.ReadByte();
    scanComponentCount = count;
    if (count == 0 || count > 3) throw JpegBadStream("Invalid component count in scan");
    for (unsigned i = 0; i < count; ++i) {
        const unsigned id = stream.ReadByte();
        // Only the current frame's components: one that an earlier picture
        // defined has no buffers sized for this frame.
        if (id >= kComponentSlots || !IsFrameComponent(id))
            throw JpegBadStream("Component Not Defined");
        JpegComponent& component = components[id];
        scanComponents[i] = &component;
        const std::uint8_t selectors = stream.ReadByte();
        const unsigned dc = selectors >> 4;
        const unsigned ac = selectors & 0x0F;
        if (dc >= kTableSlots || ac >= kTableSlots)
            throw JpegBadStream("Huffman Table Index outside range [0..3]");
        component.SetHuffmanTables(dcTables[dc], acTables[ac]);
    }
    const unsigned ss = stream.ReadByte();
    const unsigned se = stream.ReadByte();
    const std::uint8_t approximation = stream.ReadByte();
    const unsigned ah = approximation >> 4;
    const unsigned al = approximation & 0x0F;
    // Progressive bands address coefficients up to Se; a block has 64.
    if (progressive && se > kMaxSpectralIndex)
        throw JpegBadStream("Spectral Selection Outside the Range 0-63");

    if (settings.tolerant && frameComponentCount == 3 && facts.adobeTransform > 1)
        throw JpegBadStream("Unsupported Adobe Colour Transform");
    for (unsigned i = 0; i < count; ++i) {
        JpegComponent& component = *scanComponents[i];
        component.CheckQuantTable();
        // Baseline frames take 8-bit tables only (T.81 B.2.4.1).
        if (facts.frameCode == SOF0 && component.QuantTableIsSixteenBit())
            throw JpegBadStream("Only 8-bit Data is Supported");
        if (progressive) {
            if (ss == 0)
                component.CheckDcTable();
            else
                component.CheckAcTable();
        } else {
            component.CheckDcTable();
            component.CheckAcTable();
        }
        component.AllocateBuffers(*this);
    }
    // The blocks this scan will visit (T.81 A.2): whole MCUs when interleaved,
    // the component's own blocks otherwise; AC scans are never interleaved.
    std::uint64_t scanBlocks = 0;
    if (count > 1 && !(progressive && ss != 0)) {
        std::uint64_t blocksPerMcu = 0;
        for (unsigned i = 0; i < count; ++i)
            blocksPerMcu +=
                scanComponents[i]->HorizontalSampling() * scanComponents[i]->VerticalSampling();
        scanBlocks = std::uint64_t{mcuRows} * mcuColumns * blocksPerMcu;
    } else {
        scanBlocks = std::uint64_t{scanComponents[0]->ScanBlockRows()} *
                     scanComponents[0]->ScanBlockColumns();
    }
    blocksVisited += scanBlocks;
    if (blocksVisited > kMaxBlockVisitsPerBlock * frameBlocks)
        throw JpegBadStream("Scans Visit the Picture Too Many Times");
    ++scansDone;
    // Only the first scan of a sequential picture, coding all its
    // components, leaves rows final as it passes them (ConvertFinishedRows).
    convertingWhileDecoding =
        image != nullptr && !progressive && scansDone == 1 && count == frameComponentCount;
    if (!convertingWhileDecoding) rowsConverted = 0;
    StartScanWalk(ss, se, ah, al);
    stream.StartBitReading();
    restartMark = stream.ReadPointer();
    if (progressive && ss == 0 && se != 0)
        throw JpegBadStream("Progressive scan contains DC and AC data");
}

void JpegDecoder::DecodeScanData(InputByteStream& stream) {
    {
        BitReader bits(stream);
        WalkUnits(bits, walk.units);
    }
    EndScanData(stream);
}

void JpegDecoder::DecodeMcuRows(InputByteStream& stream, unsigned mcuRow) {
    BitReader bits(stream);
    WalkUnits(bits, std::min<std::uint64_t>(walk.units, mcuRow * walk.unitsPerMcuRow));
}

void JpegDecoder::EndScanData(InputByteStream& stream) {
    stream.StopBitReading();
}

}  // namespace Tessera
