#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace TesseraBench {

// An 8-bit RGB picture: rows from the top, 3 bytes (red, green, blue) a pixel.
struct RgbPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> samples;
};

// Reads a PNG or JPEG file with stb_image; throws BenchError naming the file
// and the reason when it cannot.
RgbPicture LoadPicture(const std::filesystem::path& file);

// A width × height picture made from the source: along each axis, a centred
// crop where the source is larger, and mirror tiling (the source, then its
// reflection, and so on: no seams) where it is smaller.
RgbPicture FitByMirroring(const RgbPicture& source, int width, int height);

// A deterministic stand-in for a photograph when there are no photos: a
// landscape of smooth gradients, soft clouds, hard-edged shapes and fine
// fractal texture, so that it compresses like a real picture (unlike noise).
// The seed varies the scene.
RgbPicture GeneratedPicture(int width, int height, std::uint32_t seed);

// Writes the picture as a binary PPM (P6); throws BenchError when it cannot.
void WritePpm(const RgbPicture& picture, const std::filesystem::path& file);

// 5184 × 3456: an 18-megapixel camera's 3:2 frame, the size of the large
// photos: the corpus's, and those of the fresh-process and sized comparisons.
inline constexpr int kLargeWidth = 5184;
inline constexpr int kLargeHeight = 3456;

// Writes a width × height picture fitted from the photo (generated, when the
// photo is empty) as PPM in the directory, unless an earlier call has, and
// returns its path. Throws BenchError when it cannot.
std::filesystem::path WriteSourcePicture(const std::filesystem::path& directory,
                                         const std::filesystem::path& photo, int width, int height);

}  // namespace TesseraBench
