#pragma once

#include "animation.h"
#include "picture_loading.h"
#include "show_tick.h"
#include "slide_random.h"
#include "slideshow_state.h"

namespace Miruton {

// The show of one window: its pictures, decoded once, the slideshow's state
// and its random source. Every driver (the Win32 window procedure, the X11
// hack, tessera-show-trace) makes one for its screen, presents PlanTick() at
// each tick and then calls AdvanceAnimation(); a window whose screen changes
// lays the show out again instead of making a new one.
class Show {
  public:
    // Window creation (LoadPictures): decodes the pictures from the source and
    // starts the show on the screen. Throws the decoder's exception when a
    // picture cannot be decoded.
    Show(const ScreenLayout& screen, PictureSource& source, bool preview);

    // The window's screen changed: the show starts again on the new one,
    // exactly as a show made for it would (the first picture centred, the
    // random sequence from its start), with the pictures decoded before.
    void LayOut(const ScreenLayout& screen);

    // The current tick's drawing, before the tick advances.
    TickDrawing PlanTick() const { return Miruton::PlanTick(state); }

    // Moves the show one tick on.
    void AdvanceAnimation() { Miruton::AdvanceAnimation(state, random); }

    const SlideshowState& State() const { return state; }

  private:
    SlideshowState state;
    SlideRandom random;
};

}  // namespace Miruton
