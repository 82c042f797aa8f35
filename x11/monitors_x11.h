#pragma once

#include <X11/Xlib.h>

#include <vector>

#include "slideshow/screen_layout.h"

namespace Miruton {

// Where the monitors come from: RandR 1.5's monitor list when the server has
// it (it names the primary), else Xinerama's screens (the first counts as
// primary), else nowhere (the show then takes the window for one monitor).
enum class MonitorSource { RandR, Xinerama, WholeWindow };

struct DesktopMonitors {
    MonitorSource source = MonitorSource::WholeWindow;
    std::vector<ScreenRect> monitors;  // root coordinates, the primary first
};

DesktopMonitors QueryMonitors(Display* display);

// The screen the show plays on in `window`, of this size: the monitors moved
// into the window's coordinates and cut to it.
ScreenLayout LayoutOfWindow(Display* display, Window window, int width, int height, int scale);

}  // namespace Miruton
