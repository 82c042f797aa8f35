#pragma once

#include <windows.h>

#include "slideshow/slideshow_state.h"

namespace Miruton {

// The slideshow's window procedure, in the saver window's chain between the
// host's input filters and the default saver handling.
LRESULT CALLBACK ScreenSaverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The process's show, for the host to set the preview flag before the window exists.
SlideshowState& Slideshow();

}  // namespace Miruton
