#include "miruton_hack_x11.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "monitors_x11.h"
#include "slideshow/animation.h"
#include "slideshow/picture_loading.h"
#include "slideshow/show_tick.h"
#include "tick_clock.h"

namespace Miruton {

namespace {

// The text's pixel size at scale 1 (see FramePresenter's font).
constexpr int kTextPixels = 13;

}  // namespace

struct MirutonHack {
    HackSettings settings;
    SlideshowState show;
    SlideRandom random;
    int width = 0, height = 0;                // the size the show plays at
    int pendingWidth = 0, pendingHeight = 0;  // the window's latest size
    std::unique_ptr<FramePresenter> presenter;
    Clock::time_point due{};
};

namespace {

// A fresh show, as at the window's creation: pictures decoded anew, the
// first centred on the primary monitor, the random source from its start.
void StartShow(Display* display, Window window, MirutonHack& hack, int width, int height) {
    hack.show = SlideshowState{};
    hack.random = SlideRandom{};
    ResourcePictureSource source;
    LoadPictures(hack.show, LayoutOfWindow(display, window, width, height, hack.settings.scale),
                 source);
    hack.width = hack.pendingWidth = width;
    hack.height = hack.pendingHeight = height;
}

}  // namespace

MirutonHack* MirutonInit(Display* display, const WindowGeometry& window, XErrorRecord& errors,
                         const HackSettings& settings) {
    auto hack = std::make_unique<MirutonHack>();
    hack->settings = settings;
    StartShow(display, window.window, *hack, window.width, window.height);
    int maxWidth = 0, maxHeight = 0;
    for (int i = 0; i < hack->show.pictureCount; ++i) {
        maxWidth = std::max(maxWidth, settings.scale * hack->show.pictures[i].width);
        maxHeight = std::max(maxHeight, settings.scale * hack->show.pictures[i].height);
    }
    hack->presenter = std::make_unique<FramePresenter>(display, window, errors, maxWidth, maxHeight,
                                                       kTextPixels * settings.scale);
    if (settings.paintExposures) hack->presenter->FillBlack(0, 0, window.width, window.height);
    hack->due = Clock::now();
    return hack.release();
}

unsigned long MirutonDraw(Display* display, Window window, MirutonHack* hack) {
    if (hack->pendingWidth != hack->width || hack->pendingHeight != hack->height) {
        StartShow(display, window, *hack, hack->pendingWidth, hack->pendingHeight);
        hack->presenter->FillBlack(0, 0, hack->width, hack->height);
    }
    hack->presenter->Present(PlanTick(hack->show));
    AdvanceAnimation(hack->show, hack->random);
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
