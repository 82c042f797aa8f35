#pragma once

#include <windows.h>

#include "slideshow/screen_layout.h"

namespace Miruton {

// The full-screen window's screen as the system reports it: the monitors in
// the window's coordinates (the primary first) and the scale of the primary
// monitor's resolution. Without the monitor functions (Windows 95, NT 4) the
// window's client area is the one monitor; without a resolution, scale 1.
ScreenLayout QueryScreenLayout(HWND window);

}  // namespace Miruton
