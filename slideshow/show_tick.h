#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "slideshow_state.h"

namespace Tessera {

// What one tick puts on the screen, decided before anything is drawn.
struct TickDrawing {
    std::vector<std::uint8_t> frame;  // bottom-up 24-bit rows of the current picture
    int x = 0, y = 0;                 // where the frame goes in the window
    int width = 0, height = 0;
    bool drawText = false;  // full screen only
    std::uint32_t textColour = 0;
    int textX = 0, textY = 0;
    std::string_view text;
};

// The frame and text of the state's current tick (before it advances).
TickDrawing PlanTick(const SlideshowState& state);

}  // namespace Tessera
