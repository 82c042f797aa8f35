// The monitors and the resolution of the desktop that the full-screen window
// covers. Functions newer than the oldest Windows the saver runs on are
// looked up at run time.
#include "screen_layout_win32.h"

#include <algorithm>
#include <vector>

namespace Miruton {

namespace {

// Windows 98 and 2000.
using EnumMonitorsFunction = BOOL(WINAPI*)(HDC, LPCRECT, MONITORENUMPROC, LPARAM);
using MonitorInfoFunction = BOOL(WINAPI*)(HMONITOR, LPMONITORINFO);
// Windows 8.1 (shcore.dll): GetDpiForMonitor(monitor, MDT_EFFECTIVE_DPI, &x, &y).
using MonitorDpiFunction = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
constexpr int kEffectiveDpi = 0;  // MDT_EFFECTIVE_DPI

template <typename Function>
Function Lookup(HMODULE module, const char* name) {
    if (module == nullptr) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

struct Found {
    MonitorInfoFunction info = nullptr;
    std::vector<ScreenRect> monitors;  // desktop coordinates, the primary first
    HMONITOR primary = nullptr;
};

BOOL CALLBACK EachMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
    Found& found = *reinterpret_cast<Found*>(data);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!found.info(monitor, &info)) return TRUE;
    const RECT& r = info.rcMonitor;
    const ScreenRect rect{r.left, r.top, r.right - r.left, r.bottom - r.top};
    if ((info.dwFlags & MONITORINFOF_PRIMARY) != 0 && found.primary == nullptr) {
        found.primary = monitor;
        found.monitors.insert(found.monitors.begin(), rect);
    } else {
        found.monitors.push_back(rect);
    }
    return TRUE;
}

int PrimaryDpi(HMONITOR primary) {
    if (primary != nullptr) {
        // shcore.dll is a system library: only System32 is searched.
        HMODULE shcore = LoadLibraryExA("shcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        const auto dpiOf = Lookup<MonitorDpiFunction>(shcore, "GetDpiForMonitor");
        UINT x = 0, y = 0;
        const bool known = dpiOf != nullptr && SUCCEEDED(dpiOf(primary, kEffectiveDpi, &x, &y));
        if (shcore != nullptr) FreeLibrary(shcore);
        if (known && y > 0) return static_cast<int>(y);
    }
    // Before Windows 8.1: the system's resolution, the same on every monitor.
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

}  // namespace

ScreenLayout QueryScreenLayout(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);

    HMODULE user32 = GetModuleHandleA("user32.dll");
    const auto enumMonitors = Lookup<EnumMonitorsFunction>(user32, "EnumDisplayMonitors");
    Found found;
    found.info = Lookup<MonitorInfoFunction>(user32, "GetMonitorInfoA");
    if (enumMonitors != nullptr && found.info != nullptr)
        enumMonitors(nullptr, nullptr, EachMonitor, reinterpret_cast<LPARAM>(&found));

    return WindowLayout(client.right, client.bottom, {origin.x, origin.y}, found.monitors,
                        ScaleForDpi(PrimaryDpi(found.primary)));
}

}  // namespace Miruton
