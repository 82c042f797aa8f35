#pragma once

#include <X11/Xft/Xft.h>
#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

#include <string>

#include "pixel_layout.h"
#include "slideshow/show_tick.h"
#include "x_errors_x11.h"

namespace Miruton {

// The window the show draws in, as the server describes it.
struct WindowGeometry {
    Window window = 0;
    Visual* visual = nullptr;
    int depth = 0;
    Colormap colormap = 0;
    int width = 0, height = 0;
};

// Turns planned ticks into X requests: the frame through one image kept for
// the whole run (in shared memory when the server offers MIT-SHM, sent in
// the request otherwise), the text with Xft on its black box.
class FramePresenter {
  public:
    // The image holds the largest frame; `textPixels` is the font's pixel size.
    // Throws std::runtime_error when the window's visual is one the show
    // cannot draw on.
    FramePresenter(Display* display, const WindowGeometry& target, XErrorRecord& errors,
                   int maxFrameWidth, int maxFrameHeight, int textPixels);
    ~FramePresenter();
    FramePresenter(const FramePresenter&) = delete;
    FramePresenter& operator=(const FramePresenter&) = delete;

    void Present(const TickDrawing& drawing);
    // Paints a part of the window black, as the saver window's black
    // background does on Windows.
    void FillBlack(int x, int y, int width, int height);
    bool SharedMemory() const { return shared; }
    // How it draws: the visual, the image transport, the text's font.
    std::string Describe() const;

  private:
    void CreateImage(int width, int height, XErrorRecord& errors);
    void DrawText(const TickDrawing& drawing);

    Display* display;
    WindowGeometry target;
    PixelLayout layout;
    XImage* image = nullptr;
    XShmSegmentInfo segment{};
    bool shared = false;
    GC gc = nullptr;
    XftDraw* draw = nullptr;
    XftFont* font = nullptr;
    XftColor black{};
};

}  // namespace Miruton
