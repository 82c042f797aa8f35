#include "show_tick.h"

#include "animation.h"

namespace Miruton {

TickDrawing PlanTick(const SlideshowState& state) {
    TickDrawing drawing;
    const PackedPicture& picture = state.Current();
    const int scale = state.screen.scale;
    drawing.scale = scale;
    drawing.width = scale * picture.width;
    drawing.height = scale * picture.height;
    drawing.x = state.x;
    drawing.y = state.y;
    drawing.pictureIndex = state.currentIndex;
    drawing.counter = state.counter;
    drawing.mask = state.maskKind;
    drawing.frame.assign(3 * static_cast<std::size_t>(picture.width) * picture.height, 0);
    ComposeFrame(picture, state.counter, state.maskKind, drawing.frame);
    // The masks work on picture pixels, so their cells grow with the picture.
    if (scale > 1)
        drawing.frame = EnlargeFrame(drawing.frame, picture.width, picture.height, scale);
    if (!state.preview) {
        drawing.drawText = true;
        drawing.textColour = TextColour(state.counter);
        const ScreenPoint text = TextPosition(state.screen);
        drawing.textX = text.x;
        drawing.textY = text.y;
        drawing.text = kWebAddress;
    }
    return drawing;
}

}  // namespace Miruton
