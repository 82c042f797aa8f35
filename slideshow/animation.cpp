#include "animation.h"

namespace Tessera {

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
        const PackedPicture& picture = state.Current();
        state.x = RandomOffset(random, state.clientWidth - picture.width);
        state.y = RandomOffset(random, state.clientHeight - picture.height - kPlacementMargin);
    }
    state.maskKind = RandomMask(random);
}

}  // namespace Tessera
