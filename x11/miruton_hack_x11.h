#pragma once

#include <X11/Xlib.h>

#include <string>

#include "frame_presenter_x11.h"
#include "x_errors_x11.h"

namespace Miruton {

struct HackSettings {
    int scale = 1;
    // Windows that are not ours may have any background: paint exposed
    // parts black ourselves, as the saver window's black background does.
    bool paintExposures = false;
    // Tell on standard error when the show starts again for a new size.
    bool verbose = false;
};

// The show as a screen-saver hack, in XScreenSaver's shape: init, draw
// (returning the delay until the next call), reshape, expose, free, over
// state of its own.
struct MirutonHack;

// Decodes the pictures and starts the show for the window's size. Throws
// std::runtime_error (the visual cannot be drawn on, a picture does not
// decode).
MirutonHack* MirutonInit(Display* display, const WindowGeometry& window, XErrorRecord& errors,
                         const HackSettings& settings);

// Draws the tick that is due and moves the show on; returns the
// microseconds until the next tick is due.
unsigned long MirutonDraw(Display* display, Window window, MirutonHack* hack);

// The window has a new size: the show starts again for it at the next tick,
// as the Windows saver starts for the size its window is created with, with
// the pictures decoded at init.
void MirutonReshape(Display* display, Window window, MirutonHack* hack, int width, int height);

// A part of the window was exposed; the next tick redraws the show.
void MirutonExpose(Display* display, Window window, MirutonHack* hack, int x, int y, int width,
                   int height);

// What the hack draws with and on (for --verbose).
std::string MirutonDescribe(Display* display, Window window, const MirutonHack* hack);

void MirutonFree(Display* display, Window window, MirutonHack* hack);

}  // namespace Miruton
