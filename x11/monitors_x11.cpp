#include "monitors_x11.h"

#include <X11/extensions/Xinerama.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>

namespace Miruton {

namespace {

// Whether the server has the extension, asked in the core protocol: the
// extension libraries keep per-display records that leak when the server
// turns out not to have theirs.
bool ServerHas(Display* display, const char* name) {
    int opcode = 0, event = 0, error = 0;
    return XQueryExtension(display, name, &opcode, &event, &error);
}

std::vector<ScreenRect> RandRMonitors(Display* display) {
    int event = 0, error = 0, major = 0, minor = 0;
    if (!ServerHas(display, "RANDR") || !XRRQueryExtension(display, &event, &error) ||
        !XRRQueryVersion(display, &major, &minor) || major * 100 + minor < 105)
        return {};
    int count = 0;
    XRRMonitorInfo* list = XRRGetMonitors(display, DefaultRootWindow(display), True, &count);
    std::vector<ScreenRect> monitors;
    for (int i = 0; i < count; ++i) {
        const ScreenRect rect{list[i].x, list[i].y, list[i].width, list[i].height};
        if (list[i].primary) {
            monitors.insert(monitors.begin(), rect);
        } else {
            monitors.push_back(rect);
        }
    }
    if (list != nullptr) XRRFreeMonitors(list);
    return monitors;
}

std::vector<ScreenRect> XineramaMonitors(Display* display) {
    int event = 0, error = 0;
    if (!ServerHas(display, "XINERAMA") || !XineramaQueryExtension(display, &event, &error) ||
        !XineramaIsActive(display))
        return {};
    int count = 0;
    XineramaScreenInfo* list = XineramaQueryScreens(display, &count);
    std::vector<ScreenRect> monitors;
    for (int i = 0; i < count; ++i)
        monitors.push_back({list[i].x_org, list[i].y_org, list[i].width, list[i].height});
    if (list != nullptr) XFree(list);
    return monitors;
}

}  // namespace

DesktopMonitors QueryMonitors(Display* display) {
    if (auto monitors = RandRMonitors(display); !monitors.empty())
        return {MonitorSource::RandR, std::move(monitors)};
    if (auto monitors = XineramaMonitors(display); !monitors.empty())
        return {MonitorSource::Xinerama, std::move(monitors)};
    return {};
}

ScreenLayout LayoutOfWindow(Display* display, Window window, int width, int height, int scale) {
    int x = 0, y = 0;
    Window child = 0;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child);
    return WindowLayout(width, height, {x, y}, QueryMonitors(display).monitors, scale);
}

}  // namespace Miruton
