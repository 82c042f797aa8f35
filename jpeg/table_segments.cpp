#include "table_segments.h"

#include <algorithm>
#include <span>

#include "application_segments.h"
#include "input_byte_stream.h"
#include "marker_codes.h"

namespace Tessera {

namespace {

constexpr int kSegmentLengthBytes = 2;
constexpr int kQuantValues = 64;
constexpr unsigned kTableSlots = 4;
// The JFIF APP0 fields from the length to the thumbnail height.
constexpr unsigned kJfifHeaderBytes = 16;

// Reads and drops count bytes, fewer if the data ends first.
void SkipBytes(InputByteStream& stream, std::size_t count) {
    std::array<std::uint8_t, 256> scratch;
    while (count > 0) {
        const std::size_t chunk = std::min(count, scratch.size());
        if (stream.ReadBlock(scratch.data(), chunk) < chunk) return;
        count -= chunk;
    }
}

void NoteFacts(std::uint8_t code, std::span<const std::uint8_t> payload, HeaderFacts& facts) {
    switch (code) {
        case APP0:
            facts.jfif = facts.jfif || IsJfifSegment(payload);
            break;
        case APP1:
            if (const unsigned orientation = ExifOrientation(payload); orientation != 0)
                facts.orientation = orientation;
            break;
        case APP2:
            if (IsIccProfileSegment(payload)) {
                facts.iccProfile = true;
                facts.iccChunks.push_back(IccChunkOf(payload));
            }
            break;
        case APP14:
            if (const int transform = AdobeTransform(payload); transform >= 0)
                facts.adobeTransform = transform;
            break;
        default:
            break;
    }
}

}  // namespace

void ReadHuffmanTables(InputByteStream& stream, TableSet& tables) {
    // Signed, so that tables overrunning the segment (or data ending inside
    // it, which reads as zero counts) end the loop instead of wrapping it.
    std::int32_t remaining = std::int32_t{stream.ReadBigEndian16()} - kSegmentLengthBytes;
    while (remaining > 0) {
        const std::uint8_t classAndIndex = stream.ReadByte();
        --remaining;
        const unsigned index = classAndIndex & 0x0F;
        const unsigned tableClass = classAndIndex >> 4;
        if (index >= kTableSlots) throw JpegBadStream("Huffman Table Index outside range [0..3]");
        HuffmanTable& table = tableClass == 0 ? tables.dc[index] : tables.ac[index];
        remaining -= table.LoadTable(stream);
    }
}

bool ReadQuantTables(InputByteStream& stream, TableSet& tables, bool lenient) {
    bool zero = false;
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
        // (marking the frame extended).
        tables.quant[index].LoadTable(stream, precision, lenient);
        zero = zero || tables.quant[index].hasZero;
    }
    return zero;
}

// T.81 B.2.4.3: pairs of Tc/Tb (class: 0 DC, 1 AC; slot) and Cs (DC: U in
// the high nibble, L in the low one; AC: Kx). Slots above 3, which no scan
// can select, are passed over as other decoders do.
void ReadArithmeticConditioning(InputByteStream& stream, ArithmeticConditioning& conditioning) {
    constexpr unsigned kPairBytes = 2;
    const unsigned length = stream.ReadBigEndian16();
    const unsigned header = kSegmentLengthBytes;
    if (length < header || (length - header) % kPairBytes != 0)
        throw JpegBadStream("Invalid value in input stream");
    for (unsigned pairs = (length - header) / kPairBytes; pairs > 0; --pairs) {
        const std::uint8_t target = stream.ReadByte();
        const std::uint8_t value = stream.ReadByte();
        const unsigned tableClass = target >> 4;
        const unsigned slot = target & 0x0F;
        const auto lower = static_cast<std::uint8_t>(value & 0x0F);
        const auto upper = static_cast<std::uint8_t>(value >> 4);
        if (tableClass > 1 || (tableClass == 0 && lower > upper))
            throw JpegBadStream("Invalid value in input stream");
        if (slot >= ArithmeticConditioning::kSlots) continue;
        if (tableClass == 1) {
            conditioning.acKx[slot] = value;
        } else {
            conditioning.dcLower[slot] = lower;
            conditioning.dcUpper[slot] = upper;
        }
    }
}

unsigned ReadRestartInterval(InputByteStream& stream) {
    stream.ReadBigEndian16();  // the length: the segment holds exactly one value
    return stream.ReadBigEndian16();
}

void ReadApplicationSegment(InputByteStream& stream, std::uint8_t code, HeaderFacts& facts,
                            std::vector<std::uint8_t>& scratch) {
    const unsigned length = stream.ReadBigEndian16();
    // A length below 2 (which would not even cover itself) skips nothing.
    if (length <= kSegmentLengthBytes) return;
    const unsigned payload = length - kSegmentLengthBytes;
    if (code != APP0 && code != APP1 && code != APP2 && code != APP14) {
        SkipBytes(stream, payload);
        return;
    }
    // The segments that say what a picture is besides its frame consume
    // exactly what a skipped segment does.
    scratch.resize(payload);
    scratch.resize(stream.ReadBlock(scratch.data(), payload));
    NoteFacts(code, scratch, facts);
}

void ReadJfifHeader(InputByteStream& stream, HeaderFacts& facts) {
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

}  // namespace Tessera
