#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "packed_picture.h"
#include "screen_layout.h"

namespace Miruton {

// The four cell patterns of the wipe.
enum class MaskKind : int { Diagonal = 0, Grid = 1, Rows = 2, Columns = 3 };

constexpr int kShowPictureCount = 10;
constexpr std::array<std::string_view, kShowPictureCount> kPictureNames = {
    "JPEG1", "JPEG2", "JPEG3", "JPEG4", "JPEG5", "JPEG6", "JPEG7", "JPEG8", "JPEG9", "JPEGA"};
constexpr std::string_view kPreviewPictureName = "PREV";
constexpr std::string_view kPictureType = "JPEG";

// The product's web address, drawn in the lower right corner of the full screen.
constexpr std::string_view kWebAddress = "https://miruton.example/art";
static_assert(kWebAddress.size() == 27);

// Everything the show knows; a Show holds it with its random source.
struct SlideshowState {
    int pictureCount = kShowPictureCount;
    std::array<PackedPicture, kShowPictureCount> pictures;
    int currentIndex = 0;
    int counter = 0;
    int step = +1;
    MaskKind maskKind = MaskKind::Diagonal;
    bool preview = false;
    ScreenLayout screen;  // set when the show starts on a screen (StartOnScreen)
    int x = 0;            // the current picture's top-left corner in the window
    int y = 0;

    const PackedPicture& Current() const { return pictures[currentIndex]; }
};

}  // namespace Miruton
