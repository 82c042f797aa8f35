#pragma once

// What the application segments of a JPEG file say about the picture, read
// from a segment's payload (the bytes after its length). Every reader checks
// its own bounds: the payloads are the file's, whatever they hold.

#include <cstdint>
#include <span>

namespace Tessera {

// APP0 "JFIF\0".
bool IsJfifSegment(std::span<const std::uint8_t> payload);
// APP1 "Exif\0\0" with a TIFF header: the Orientation tag (0x0112) of the
// first image directory, 1..8; 0 when there is none or it is out of range.
unsigned ExifOrientation(std::span<const std::uint8_t> payload);
// APP2 "ICC_PROFILE\0" (one chunk of an ICC profile).
bool IsIccProfileSegment(std::span<const std::uint8_t> payload);
// APP14 "Adobe": its colour transform byte (0 none: RGB for three
// components; 1 YCbCr; 2 YCCK); -1 when the payload is not an Adobe segment.
int AdobeTransform(std::span<const std::uint8_t> payload);

}  // namespace Tessera
