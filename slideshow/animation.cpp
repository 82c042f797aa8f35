#include "animation.h"

#include <algorithm>

namespace Miruton {

bool IsMasked(MaskKind kind, int i, int j, int counter) {
    switch (kind) {
        case MaskKind::Diagonal:
            return (i + j) % kCellPeriod > counter;
        case MaskKind::Grid:
            return j % kCellPeriod > counter && i % kCellPeriod > counter;
        case MaskKind::Rows:
            return j % kCellPeriod > counter;
        case MaskKind::Columns:
            return i % kCellPeriod > counter;
    }
    return true;
}

void ComposeFrame(const PackedPicture& picture, int counter, MaskKind kind,
                  std::span<std::uint8_t> frame) {
    if (counter <= 0) return;
    const std::size_t rowBytes = 3 * static_cast<std::size_t>(picture.width);
    for (int row = 0; row < picture.height; ++row) {
        // Frame and picture are both top-down; the masks count rows from the
        // picture's bottom edge on the screen.
        const int j = picture.height - 1 - row;
        const std::uint8_t* source =
            picture.pixels.data() + rowBytes * static_cast<std::size_t>(row);
        std::uint8_t* target = frame.data() + rowBytes * static_cast<std::size_t>(row);
        for (int i = 0; i < picture.width; ++i) {
            std::uint8_t* out = target + 3 * i;
            if (IsMasked(kind, i, j, counter)) {
                out[0] = out[1] = out[2] = 0;
            } else {
                out[0] = source[3 * i];
                out[1] = source[3 * i + 1];
                out[2] = source[3 * i + 2];
            }
        }
    }
}

std::vector<std::uint8_t> EnlargeFrame(std::span<const std::uint8_t> frame, int width, int height,
                                       int scale) {
    const std::size_t rowBytes = 3 * static_cast<std::size_t>(width);
    const std::size_t bigRowBytes = rowBytes * static_cast<std::size_t>(scale);
    std::vector<std::uint8_t> big(bigRowBytes * static_cast<std::size_t>(height) * scale);
    std::uint8_t* out = big.data();
    for (int row = 0; row < height; ++row) {
        const std::uint8_t* source = frame.data() + rowBytes * static_cast<std::size_t>(row);
        std::uint8_t* first = out;
        for (int i = 0; i < width; ++i, source += 3)
            for (int copy = 0; copy < scale; ++copy, out += 3) {
                out[0] = source[0];
                out[1] = source[1];
                out[2] = source[2];
            }
        for (int copy = 1; copy < scale; ++copy, out += bigRowBytes)
            std::copy(first, first + bigRowBytes, out);
    }
    return big;
}

std::uint32_t TextColour(int counter) {
    constexpr std::uint32_t kBlueAndGreen = 0xFF8000;  // blue 255, green 128
    const auto red = static_cast<std::uint32_t>((5 * counter + 128) & 0xFF);
    return kBlueAndGreen | red;
}

int RandomOffset(SlideRandom& random, int span) {
    const int value = random.Next();
    return span > 0 ? value % span : 0;
}

namespace {

MaskKind RandomMask(SlideRandom& random) {
    return static_cast<MaskKind>(random.Next() % 4);
}

}  // namespace

void AdvanceAnimation(SlideshowState& state, SlideRandom& random) {
    state.counter += state.step;
    if (state.counter > kTurnAbove) {
        state.step = -1;
        state.maskKind = RandomMask(random);
    }
    if (state.counter >= kAdvanceBelow) return;

    // The counter stays at -6 and climbs again from there.
    state.step = +1;
    state.currentIndex += 1;
    if (state.currentIndex > state.pictureCount - 1) state.currentIndex = 0;
    if (!state.preview) {
        const ScreenLayout& screen = state.screen;
        const int width = screen.scale * state.Current().width;
        const int height = screen.scale * state.Current().height;
        ScreenPoint drawn;
        drawn.x = RandomOffset(random, screen.clientWidth - width);
        drawn.y =
            RandomOffset(random, screen.clientHeight - height - screen.scale * kPlacementMargin);
        const ScreenPoint placed = PlaceOnMonitor(screen, drawn, width, height);
        state.x = placed.x;
        state.y = placed.y;
    }
    state.maskKind = RandomMask(random);
}

}  // namespace Miruton
