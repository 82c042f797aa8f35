#pragma once

#include <X11/Xlib.h>

#include <optional>
#include <string>

#include "frame_presenter_x11.h"
#include "hack_options.h"
#include "x_errors_x11.h"

namespace Miruton {

// The window the show draws in and how it ends.
struct DrawingWindow {
    WindowGeometry geometry;
    // Our own window (we made it, we destroy it): a key press or the window
    // manager's close request ends the show. A root or given window belongs
    // to the daemon, which alone decides when the show ends.
    bool own = false;
    Atom deleteWindow = 0;  // WM_DELETE_WINDOW, own windows only
};

// Opens the target: looks the root or given window up (without taking any
// input from it: only its size changes, destruction and exposures are
// watched), or makes our own window, titled "Miruton", class "miruton".
// Nothing when the window does not exist, with `error` saying so.
std::optional<DrawingWindow> OpenDrawingWindow(Display* display, const DrawTarget& target,
                                               XErrorRecord& errors, std::string& error);

void CloseDrawingWindow(Display* display, const DrawingWindow& window);

}  // namespace Miruton
