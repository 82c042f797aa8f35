#pragma once

#include <cstdint>
#include <vector>

namespace Miruton {

// A decoded picture kept for the whole show: 3 bytes a pixel (blue, green,
// red), rows top-down and packed without gaps, so a row is 3 × width bytes.
struct PackedPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
};

}  // namespace Miruton
