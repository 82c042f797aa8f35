#pragma once

#include <X11/Xlib.h>

#include <vector>

#include "slideshow/screen_layout.h"

namespace Miruton {

// The monitors: RandR 1.5's monitor list when the server has it (it names the
// primary), else Xinerama's screens (the first counts as primary), else none
// (the show then takes the window for one monitor). Root coordinates, the
// primary first.
std::vector<Tessera::ScreenRect> QueryMonitors(Display* display);

// The screen the show plays on in `window`, of this size: the monitors moved
// into the window's coordinates and cut to it.
Tessera::ScreenLayout LayoutOfWindow(Display* display, Window window, int width, int height,
                                     int scale);

}  // namespace Miruton
