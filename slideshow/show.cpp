#include "show.h"

#include <utility>

namespace Miruton {

Show::Show(const ScreenLayout& screen, PictureSource& source, bool preview) {
    state.preview = preview;
    LoadPictures(state, screen, source);
}

void Show::LayOut(const ScreenLayout& screen) {
    // A state made afresh, so that nothing of the old screen's show remains
    // but the pictures it decoded.
    SlideshowState fresh;
    fresh.preview = state.preview;
    fresh.pictureCount = state.pictureCount;
    fresh.pictures = std::move(state.pictures);
    state = std::move(fresh);
    random = SlideRandom{};
    StartOnScreen(state, screen);
}

}  // namespace Miruton
