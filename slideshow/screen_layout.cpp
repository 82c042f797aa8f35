#include "screen_layout.h"

#include <algorithm>
#include <climits>
#include <cstdint>

namespace Miruton {

namespace {

// How far a coordinate lies outside [low, high).
std::int64_t Outside(int value, int low, int high) {
    if (value < low) return static_cast<std::int64_t>(low) - value;
    if (value >= high) return static_cast<std::int64_t>(value) - high + 1;
    return 0;
}

// A random offset below `span` reaches 0 … span - 1; no span leaves 0.
int Limited(int value, int low, int span) {
    return span > 0 ? std::clamp(value, low, low + span - 1) : low;
}

std::span<const ScreenRect> MonitorsOf(const ScreenLayout& layout, ScreenRect& client) {
    client = {0, 0, layout.clientWidth, layout.clientHeight};
    if (layout.monitors.empty()) return {&client, 1};
    return layout.monitors;
}

}  // namespace

ScreenLayout SingleScreen(int clientWidth, int clientHeight) {
    return {clientWidth, clientHeight, {{0, 0, clientWidth, clientHeight}}, 1};
}

ScreenLayout WindowLayout(int clientWidth, int clientHeight, ScreenPoint origin,
                          std::span<const ScreenRect> desktopMonitors, int scale) {
    ScreenLayout layout{clientWidth, clientHeight, {}, std::max(scale, 1)};
    for (const ScreenRect& m : desktopMonitors) {
        const int left = std::max(m.x - origin.x, 0);
        const int top = std::max(m.y - origin.y, 0);
        const int right = std::min(m.Right() - origin.x, clientWidth);
        const int bottom = std::min(m.Bottom() - origin.y, clientHeight);
        if (right > left && bottom > top)
            layout.monitors.push_back({left, top, right - left, bottom - top});
    }
    if (layout.monitors.empty()) layout.monitors.push_back({0, 0, clientWidth, clientHeight});
    return layout;
}

ScreenLayout CoveringLayout(std::span<const ScreenRect> desktopMonitors, int scale) {
    if (desktopMonitors.empty()) return {0, 0, {}, std::max(scale, 1)};
    int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;
    for (const ScreenRect& m : desktopMonitors) {
        left = std::min(left, m.x);
        top = std::min(top, m.y);
        right = std::max(right, m.Right());
        bottom = std::max(bottom, m.Bottom());
    }
    return WindowLayout(right - left, bottom - top, {left, top}, desktopMonitors, scale);
}

int ScaleForDpi(int dpi) {
    if (dpi <= 0) return 1;
    const int rounded = dpi / kBaseDpi + (dpi % kBaseDpi >= kBaseDpi / 2 ? 1 : 0);
    return std::clamp(rounded, 1, kMaxScale);
}

ScreenRect PrimaryMonitor(const ScreenLayout& layout) {
    ScreenRect client;
    return MonitorsOf(layout, client).front();
}

ScreenRect MonitorAt(const ScreenLayout& layout, ScreenPoint point) {
    ScreenRect client;
    const std::span<const ScreenRect> monitors = MonitorsOf(layout, client);
    const ScreenRect* nearest = &monitors.front();
    std::int64_t best = INT64_MAX;
    for (const ScreenRect& m : monitors) {
        const std::int64_t dx = Outside(point.x, m.x, m.Right());
        const std::int64_t dy = Outside(point.y, m.y, m.Bottom());
        const std::int64_t distance = dx * dx + dy * dy;
        if (distance < best) {
            best = distance;
            nearest = &m;
        }
    }
    return *nearest;
}

ScreenPoint PlaceOnMonitor(const ScreenLayout& layout, ScreenPoint drawn, int width, int height) {
    const ScreenRect m = MonitorAt(layout, drawn);
    const int margin = layout.scale * kPlacementMargin;
    return {Limited(drawn.x, m.x, m.width - width),
            Limited(drawn.y, m.y, m.height - height - margin)};
}

ScreenPoint CentreOnPrimary(const ScreenLayout& layout, int width, int height) {
    const ScreenRect p = PrimaryMonitor(layout);
    // Each half truncates on its own: (1023 / 2) - (336 / 2) = 511 - 168.
    return {p.x + p.width / 2 - width / 2, p.y + p.height / 2 - height / 2};
}

ScreenPoint TextPosition(const ScreenLayout& layout) {
    const ScreenRect p = PrimaryMonitor(layout);
    return {p.Right() - layout.scale * kTextFromRight, p.Bottom() - layout.scale * kTextFromBottom};
}

}  // namespace Miruton
