#include "draw_target_x11.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <cstdio>

namespace Miruton {

namespace {

constexpr int kOwnWidth = 640, kOwnHeight = 480;
constexpr char kTitle[] = "Miruton";
constexpr char kClass[] = "miruton";

std::optional<WindowGeometry> Describe(Display* display, Window window) {
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(display, window, &attributes) == 0) return std::nullopt;
    return WindowGeometry{window,           attributes.visual,
                          attributes.depth, attributes.colormap,
                          attributes.width, attributes.height};
}

// A cursor that shows nothing: a 1 x 1 pixmap with its mask bit clear.
Cursor InvisibleCursor(Display* display, Window root) {
    const char bits[1] = {0};
    Pixmap empty = XCreateBitmapFromData(display, root, bits, 1, 1);
    XColor black{};
    Cursor cursor = XCreatePixmapCursor(display, empty, empty, &black, &black, 0, 0);
    XFreePixmap(display, empty);
    return cursor;
}

void NameOwnWindow(Display* display, Window window, int width, int height) {
    XSizeHints size{};
    size.flags = PSize;
    size.width = width;
    size.height = height;
    XClassHint classHint{const_cast<char*>(kClass), const_cast<char*>(kClass)};
    XTextProperty name{};
    char* title = const_cast<char*>(kTitle);
    XStringListToTextProperty(&title, 1, &name);
    XSetWMProperties(display, window, &name, &name, nullptr, 0, &size, nullptr, &classHint);
    XFree(name.value);
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False),
                    XInternAtom(display, "UTF8_STRING", False), 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(kTitle), sizeof kTitle - 1);
}

DrawingWindow MakeOwnWindow(Display* display, bool fullscreen) {
    const int screen = DefaultScreen(display);
    const Window root = RootWindow(display, screen);
    const int width = fullscreen ? DisplayWidth(display, screen) : kOwnWidth;
    const int height = fullscreen ? DisplayHeight(display, screen) : kOwnHeight;

    XSetWindowAttributes attributes{};
    attributes.background_pixel = BlackPixel(display, screen);
    attributes.event_mask = KeyPressMask | StructureNotifyMask | ExposureMask;
    unsigned long mask = CWBackPixel | CWEventMask;
    if (fullscreen) {
        attributes.cursor = InvisibleCursor(display, root);
        mask |= CWCursor;
    }
    const Window window = XCreateWindow(display, root, 0, 0, static_cast<unsigned>(width),
                                        static_cast<unsigned>(height), 0, CopyFromParent,
                                        InputOutput, CopyFromParent, mask, &attributes);
    if (fullscreen) XFreeCursor(display, attributes.cursor);  // the window keeps it
    NameOwnWindow(display, window, width, height);

    DrawingWindow drawing;
    drawing.own = true;
    drawing.deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, window, &drawing.deleteWindow, 1);
    if (fullscreen) {
        // Set before mapping, a window manager maps it full screen; without
        // one it covers the screen anyway.
        Atom state = XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", False);
        XChangeProperty(display, window, XInternAtom(display, "_NET_WM_STATE", False), XA_ATOM, 32,
                        PropModeReplace, reinterpret_cast<unsigned char*>(&state), 1);
    }
    XMapWindow(display, window);
    drawing.geometry = {window,
                        DefaultVisual(display, screen),
                        DefaultDepth(display, screen),
                        DefaultColormap(display, screen),
                        width,
                        height};
    return drawing;
}

}  // namespace

std::optional<DrawingWindow> OpenDrawingWindow(Display* display, const DrawTarget& target,
                                               XErrorRecord& errors, std::string& error) {
    if (target.kind == TargetKind::OwnWindow || target.kind == TargetKind::Fullscreen) {
        DrawingWindow drawing = MakeOwnWindow(display, target.kind == TargetKind::Fullscreen);
        errors.watched = drawing.geometry.window;
        return drawing;
    }
    const Window window =
        target.kind == TargetKind::Root ? DefaultRootWindow(display) : Window{target.window};
    errors.watched = window;
    // Size changes, destruction and exposures only: any client may watch
    // these, while key and button presses stay with the window's owner.
    XSelectInput(display, window, StructureNotifyMask | ExposureMask);
    // Asked after the selection: a window that exists now reports its
    // destruction from here on.
    const auto geometry = Describe(display, window);
    if (!geometry || errors.watchedGone) {
        char id[32];
        std::snprintf(id, sizeof id, "0x%lx", static_cast<unsigned long>(window));
        error = std::string("there is no window ") + id + " on this display";
        return std::nullopt;
    }
    DrawingWindow drawing;
    drawing.geometry = *geometry;
    return drawing;
}

void CloseDrawingWindow(Display* display, const DrawingWindow& window) {
    if (window.own) {
        XDestroyWindow(display, window.geometry.window);
    } else {
        XSelectInput(display, window.geometry.window, NoEventMask);
    }
}

}  // namespace Miruton
