#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace Miruton {

// Geometry of the full screen at one scale factor (k = 1 on a 96-dpi screen).
// Every length below is multiplied by k on the screen.
//
// Text offsets from the primary monitor's right and bottom edges, and the
// margin kept free above a monitor's bottom for the text line (32 + 1 spare row).
constexpr int kTextFromRight = 250;
constexpr int kTextFromBottom = 32;
constexpr int kPlacementMargin = 33;
// The resolution that draws one picture pixel as one screen pixel, and the
// largest scale (768 dpi, beyond Windows' largest setting of 500 %), which
// bounds a frame at 64 times a picture's size whatever a driver reports.
constexpr int kBaseDpi = 96;
constexpr int kMaxScale = 8;

struct ScreenPoint {
    int x = 0;
    int y = 0;
    friend bool operator==(ScreenPoint, ScreenPoint) = default;
};

// A monitor's area: top-left corner and size.
struct ScreenRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    int Right() const { return x + width; }
    int Bottom() const { return y + height; }
    bool Contains(ScreenPoint p) const {
        return p.x >= x && p.x < Right() && p.y >= y && p.y < Bottom();
    }
    friend bool operator==(const ScreenRect&, const ScreenRect&) = default;
};

// The screen the show plays on, handed to it at loading: the window's client
// area, the monitors inside it in window coordinates (client area at 0, 0; the
// primary first) and the whole number of screen pixels a picture pixel takes.
// A layout without monitors has one monitor covering the client area.
struct ScreenLayout {
    int clientWidth = 0;
    int clientHeight = 0;
    std::vector<ScreenRect> monitors;
    int scale = 1;
};

// One monitor exactly covering a client area, scale 1: the screen of a plain
// desktop PC, of the preview window, of an ordinary X window.
ScreenLayout SingleScreen(int clientWidth, int clientHeight);

// The layout of a client area whose top-left corner lies at `origin` on the
// desktop, over monitors given in desktop coordinates (which may be negative;
// the primary first): the monitors are moved into window coordinates and cut
// to the client area; those left empty are dropped, and when none is left one
// monitor covers the client area.
ScreenLayout WindowLayout(int clientWidth, int clientHeight, ScreenPoint origin,
                          std::span<const ScreenRect> desktopMonitors, int scale);

// A window covering the bounding box of the monitors: the client area is the
// box (nothing when there are no monitors).
ScreenLayout CoveringLayout(std::span<const ScreenRect> desktopMonitors, int scale);

// The scale of a monitor of this resolution: dpi / 96 rounded to the nearest
// whole number (144 dpi gives 2), at least 1 and at most kMaxScale.
int ScaleForDpi(int dpi);

// The primary monitor (the client area when the layout has no monitors).
ScreenRect PrimaryMonitor(const ScreenLayout& layout);

// The monitor that holds the point, or else the nearest one to it; on a tie
// the earlier one. The client area stands for the monitors of a layout without
// any.
ScreenRect MonitorAt(const ScreenLayout& layout, ScreenPoint point);

// Where a picture of this on-screen size goes that was drawn at `drawn`: moved
// the least into the monitor at `drawn` so that it keeps the limits a random
// placement on that monitor alone keeps: inside it, one spare column on the
// right, and the placement margin plus one row above its bottom. Where the
// monitor is too small for that, the picture goes to the monitor's left or top
// edge. With one monitor covering the client area every drawn position stays
// where it is.
ScreenPoint PlaceOnMonitor(const ScreenLayout& layout, ScreenPoint drawn, int width, int height);

// The first picture's place: centred on the primary monitor, each half
// truncated on its own.
ScreenPoint CentreOnPrimary(const ScreenLayout& layout, int width, int height);

// The top-left corner of the web address line, near the primary monitor's
// lower right corner.
ScreenPoint TextPosition(const ScreenLayout& layout);

}  // namespace Miruton
