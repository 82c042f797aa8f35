#pragma once

// What the application segments of a JPEG file say about the picture, read
// from a segment's payload (the bytes after its length). Every reader checks
// its own bounds: the payloads are the file's, whatever they hold.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace Tessera {

// APP0 "JFIF\0".
bool IsJfifSegment(std::span<const std::uint8_t> payload);
// APP1 "Exif\0\0" with a TIFF header: the Orientation tag (0x0112) of the
// first image directory, 1..8; 0 when there is none or it is out of range.
unsigned ExifOrientation(std::span<const std::uint8_t> payload);
// APP2 "ICC_PROFILE\0" (one chunk of an ICC profile).
bool IsIccProfileSegment(std::span<const std::uint8_t> payload);

// One chunk of an ICC profile: a profile too large for one segment is split
// over several, each naming its place (sequence 1..count) and the count.
struct IccChunk {
    unsigned sequence = 0;
    unsigned count = 0;
    std::vector<std::uint8_t> bytes;  // its share of the profile
};
// The chunk of an ICC_PROFILE payload; one too short to name its place has
// sequence and count 0.
IccChunk IccChunkOf(std::span<const std::uint8_t> payload);

// The chunks put back together in sequence order, whatever their order in
// the file. `damage` says what is wrong when they do not make one profile
// (a number outside 1..count, counts that disagree, a chunk repeated or
// missing); the profile is then empty. No chunks: no profile, no damage.
struct IccProfileAssembly {
    std::vector<std::uint8_t> profile;
    std::string damage;
};
IccProfileAssembly AssembleIccProfile(std::span<const IccChunk> chunks);
// APP14 "Adobe": its colour transform byte (0 none: RGB for three
// components; 1 YCbCr; 2 YCCK); -1 when the payload is not an Adobe segment.
int AdobeTransform(std::span<const std::uint8_t> payload);

}  // namespace Tessera
