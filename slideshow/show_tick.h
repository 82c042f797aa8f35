#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "slideshow_state.h"

namespace Miruton {

// What one tick puts on the screen, decided before anything is drawn: plain
// data that each window system's presenter turns into its own calls.
struct TickDrawing {
    // The frame: top-down rows of 3 × width bytes (blue, green, red), no gaps,
    // at its size on the screen (the picture's size times the scale).
    std::vector<std::uint8_t> frame;
    int x = 0, y = 0;  // where the frame's top-left corner goes in the window
    int width = 0, height = 0;
    // Screen pixels per picture pixel; the text's font is this many times the
    // default font's size.
    int scale = 1;
    // What the frame shows, for traces and tests.
    int pictureIndex = 0;
    int counter = 0;
    MaskKind mask = MaskKind::Diagonal;

    bool drawText = false;         // full screen only
    std::uint32_t textColour = 0;  // 0x00BBGGRR, on black
    int textX = 0, textY = 0;      // the text's top-left corner in the window
    std::string_view text;

    friend bool operator==(const TickDrawing&, const TickDrawing&) = default;
};

// The frame and text of the state's current tick (before it advances).
TickDrawing PlanTick(const SlideshowState& state);

}  // namespace Miruton
