#include "miruton_hack_x11.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <utility>

#include "monitors_x11.h"
#include "slideshow/show.h"
#include "tick_clock.h"

namespace Miruton {

namespace {

// The text's pixel size at scale 1 (see FramePresenter's font).
constexpr int kTextPixels = 13;

}  // namespace

struct MirutonHack {
    MirutonHack(const HackSettings& settings, Show show, int width, int height)
        : settings(settings),
          show(std::move(show)),
          width(width),
          height(height),
          pendingWidth(width),
          pendingHeight(height) {}

    HackSettings settings;
    Show show;
    int width, height;                // the size the show plays at
    int pendingWidth, pendingHeight;  // the window's latest size
    std::unique_ptr<FramePresenter> presenter;
    Clock::time_point due{};
};

namespace {

// The largest frame of the show: the presenter's image holds any of them.
std::pair<int, int> LargestFrame(const SlideshowState& state) {
    int width = 0, height = 0;
    for (int i = 0; i < state.pictureCount; ++i) {
        width = std::max(width, state.screen.scale * state.pictures[i].width);
        height = std::max(height, state.screen.scale * state.pictures[i].height);
    }
    return {width, height};
}

// The window has a new size: the show starts again for it, as the Windows
// saver starts for the size of its window, with the pictures it has.
void RestartShow(Display* display, Window window, MirutonHack& hack) {
    hack.width = hack.pendingWidth;
    hack.height = hack.pendingHeight;
    hack.show.LayOut(LayoutOfWindow(display, window, hack.width, hack.height, hack.settings.scale));
    hack.presenter->FillBlack(0, 0, hack.width, hack.height);
    if (hack.settings.verbose)
        std::fprintf(stderr, "miruton: the show starts again for %dx%d; pictures decoded: %d\n",
                     hack.width, hack.height, PicturesDecoded());
}

}  // namespace

MirutonHack* MirutonInit(Display* display, const WindowGeometry& window, XErrorRecord& errors,
                         const HackSettings& settings) {
    ResourcePictureSource source;
    Show show(LayoutOfWindow(display, window.window, window.width, window.height, settings.scale),
              source, false);
    auto hack =
        std::make_unique<MirutonHack>(settings, std::move(show), window.width, window.height);
    const auto [maxWidth, maxHeight] = LargestFrame(hack->show.State());
    hack->presenter = std::make_unique<FramePresenter>(display, window, errors, maxWidth, maxHeight,
                                                       kTextPixels * settings.scale);
    if (settings.paintExposures) hack->presenter->FillBlack(0, 0, window.width, window.height);
    hack->due = Clock::now();
    return hack.release();
}

unsigned long MirutonDraw(Display* display, Window window, MirutonHack* hack) {
    if (hack->pendingWidth != hack->width || hack->pendingHeight != hack->height)
        RestartShow(display, window, *hack);
    hack->presenter->Present(hack->show.PlanTick());
    hack->show.AdvanceAnimation();
    const Clock::time_point now = Clock::now();
    hack->due = NextTickDue(hack->due, now);
    return MicrosecondsUntil(hack->due, now);
}

void MirutonReshape(Display*, Window, MirutonHack* hack, int width, int height) {
    hack->pendingWidth = width;
    hack->pendingHeight = height;
}

void MirutonExpose(Display*, Window, MirutonHack* hack, int x, int y, int width, int height) {
    if (hack->settings.paintExposures) hack->presenter->FillBlack(x, y, width, height);
}

std::string MirutonDescribe(Display* display, Window, const MirutonHack* hack) {
    const DesktopMonitors desktop = QueryMonitors(display);
    std::string text = hack->presenter->Describe() + "; monitors from ";
    switch (desktop.source) {
        case MonitorSource::RandR:
            text += "RandR:";
            break;
        case MonitorSource::Xinerama:
            text += "Xinerama:";
            break;
        case MonitorSource::WholeWindow:
            text += "neither RandR nor Xinerama: the window";
            break;
    }
    char part[64];
    for (const ScreenRect& m : desktop.monitors) {
        std::snprintf(part, sizeof part, " %dx%d+%d+%d", m.width, m.height, m.x, m.y);
        text += part;
    }
    std::snprintf(part, sizeof part, "; scale %d; client %dx%d", hack->settings.scale, hack->width,
                  hack->height);
    text += part;
    return text;
}

void MirutonFree(Display*, Window, MirutonHack* hack) {
    delete hack;
}

}  // namespace Miruton
