#include "show_tick.h"

#include "animation.h"

namespace Tessera {

TickDrawing PlanTick(const SlideshowState& state) {
    TickDrawing drawing;
    const PackedPicture& picture = state.Current();
    drawing.width = picture.width;
    drawing.height = picture.height;
    drawing.x = state.x;
    drawing.y = state.y;
    drawing.pictureIndex = state.currentIndex;
    drawing.counter = state.counter;
    drawing.mask = state.maskKind;
    drawing.frame.assign(3 * static_cast<std::size_t>(picture.width) * picture.height, 0);
    ComposeFrame(picture, state.counter, state.maskKind, drawing.frame);
    if (!state.preview) {
        drawing.drawText = true;
        drawing.textColour = TextColour(state.counter);
        drawing.textX = state.clientWidth - kTextFromRight;
        drawing.textY = state.clientHeight - kTextFromBottom;
        drawing.text = kWebAddress;
    }
    return drawing;
}

}  // namespace Tessera
