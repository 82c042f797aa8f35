#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "slide_random.h"
#include "slideshow_state.h"

namespace Miruton {

// The wipe's constants. Lines of a cell are 11 pixels apart; the counter
// climbs to 21 (it turns once it exceeds 20) and falls to -6 (it moves on
// once it drops below -5).
constexpr int kCellPeriod = 11;
constexpr int kTurnAbove = 20;
constexpr int kAdvanceBelow = -5;

// Whether pixel (column i, row j counted from the picture's bottom edge) is
// black for this mask kind and counter.
bool IsMasked(MaskKind kind, int i, int j, int counter);

// Fills a frame of the picture's size (top-down rows of 3 × width bytes, blue,
// green, red) with the picture through the mask: black where masked, the
// picture elsewhere. The masks count rows j from the picture's bottom edge on
// the screen and columns i from its left edge. With a counter of 0 or less the
// frame is left untouched (all black once zeroed).
void ComposeFrame(const PackedPicture& picture, int counter, MaskKind kind,
                  std::span<std::uint8_t> frame);

// A frame of width × height enlarged `scale` times: each pixel becomes a
// scale × scale block of its colour, no smoothing.
std::vector<std::uint8_t> EnlargeFrame(std::span<const std::uint8_t> frame, int width, int height,
                                       int scale);

// The text colour as a COLORREF (0x00BBGGRR): blue 255, green 128, red
// following the counter.
std::uint32_t TextColour(int counter);

// A random offset below `span`; a screen too small for the picture (span 0 or
// less) places it at 0, with the draw still made so that the later choices
// stay the same on every screen.
int RandomOffset(SlideRandom& random, int span);

// Moves the counter one step; at the turn draws the closing mask, below the
// end moves on to the next picture and draws the opening mask. In full screen
// the next picture's position is drawn at random over the whole client area
// for the picture's size on the screen, then moved onto one monitor
// (PlaceOnMonitor).
void AdvanceAnimation(SlideshowState& state, SlideRandom& random);

}  // namespace Miruton
