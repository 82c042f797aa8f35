#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace TesseraTest {

// An 8-bit picture as interleaved samples: 3 per pixel (RGB) or 1 (grey).
struct Picture {
    int width = 0;
    int height = 0;
    int channels = 3;
    std::vector<std::uint8_t> samples;
};

// Reads a binary PPM (P6) or PGM (P5) with maxval 255.
std::optional<Picture> ReadNetpbm(const std::string& path);
bool WritePpm(const std::string& path, const Picture& picture);

std::vector<std::uint8_t> ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace TesseraTest
