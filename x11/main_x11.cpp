// miruton: the slideshow for X11, on its own or as a screen-saver hack run by
// XScreenSaver or xsecurelock. See kUsage for its command line.
#include <X11/Xlib.h>
#include <fontconfig/fontconfig.h>
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "display_scale.h"
#include "draw_target_x11.h"
#include "hack_options.h"
#include "miruton_hack_x11.h"
#include "tick_clock.h"
#include "x_errors_x11.h"

namespace Miruton {

namespace {

// The signals that end the show. They are blocked and read from a signalfd
// in the loop, so nothing at all runs in a signal handler.
int EndingSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGHUP);
    if (sigprocmask(SIG_BLOCK, &set, nullptr) != 0) return -1;
    return signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
}

// What one event means for the show; true when it ends it.
bool HandleEvent(Display* display, const DrawingWindow& target, MirutonHack* hack,
                 const XEvent& event) {
    const Window window = target.geometry.window;
    switch (event.type) {
        case ConfigureNotify:
            if (event.xconfigure.window == window)
                MirutonReshape(display, window, hack, event.xconfigure.width,
                               event.xconfigure.height);
            return false;
        case Expose:
            MirutonExpose(display, window, hack, event.xexpose.x, event.xexpose.y,
                          event.xexpose.width, event.xexpose.height);
            return false;
        case DestroyNotify:
            return event.xdestroywindow.window == window;
        case KeyPress:
            return target.own;
        case ClientMessage:
            return target.own && event.xclient.format == 32 &&
                   static_cast<Atom>(event.xclient.data.l[0]) == target.deleteWindow;
        default:
            return false;
    }
}

// Ticks every 100 ms until a signal, the window's end or (own window) the
// user ends the show. Between ticks it sleeps in poll() on the X connection
// and the signals.
void RunShow(Display* display, const DrawingWindow& target, MirutonHack* hack, int signals,
             const XErrorRecord& errors) {
    Clock::time_point due = Clock::now();
    pollfd watched[2] = {{ConnectionNumber(display), POLLIN, 0}, {signals, POLLIN, 0}};
    for (;;) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (HandleEvent(display, target, hack, event)) return;
        }
        if (errors.watchedGone) return;
        Clock::time_point now = Clock::now();
        if (now >= due) {
            const unsigned long delay = MirutonDraw(display, target.geometry.window, hack);
            now = Clock::now();
            due = now + std::chrono::microseconds(delay);
            if (errors.watchedGone) return;
            continue;  // drawing synchronised with the server: events may be queued
        }
        if (poll(watched, 2, PollTimeout(due, now)) < 0 && errno != EINTR) return;
        if (watched[1].revents != 0) return;
    }
}

int Run(const HackOptions& options) {
    const int signals = EndingSignals();
    if (signals < 0) {
        std::perror("miruton: signalfd");
        return 1;
    }
    // A write to a closed connection reports the loss to Xlib, instead of
    // killing the process.
    std::signal(SIGPIPE, SIG_IGN);

    std::string error;
    const auto target = ChooseTarget(options, std::getenv("XSCREENSAVER_WINDOW"), error);
    if (!target) {
        std::fprintf(stderr, "miruton: %s\n", error.c_str());
        return 1;
    }
    const char* name = options.display.empty() ? nullptr : options.display.c_str();
    Display* display = XOpenDisplay(name);
    if (display == nullptr) {
        std::fprintf(stderr, "miruton: cannot open display '%s'\n", XDisplayName(name));
        return 1;
    }
    XErrorRecord errors;
    InstallErrorHandlers(display, errors);

    int status = 0;
    const auto window = OpenDrawingWindow(display, *target, errors, error);
    if (!window) {
        std::fprintf(stderr, "miruton: %s\n", error.c_str());
        status = 1;
    } else {
        HackSettings settings;
        settings.scale = ChooseScale(options.scale, XGetDefault(display, "Xft", "dpi"));
        settings.paintExposures = !window->own;
        settings.verbose = options.verbose;
        MirutonHack* hack = nullptr;
        try {
            hack = MirutonInit(display, window->geometry, errors, settings);
            if (options.verbose)
                std::fprintf(stderr, "miruton: window 0x%lx: %s\n", window->geometry.window,
                             MirutonDescribe(display, window->geometry.window, hack).c_str());
            RunShow(display, *window, hack, signals, errors);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "miruton: %s\n", e.what());
            status = 1;
        }
        // A daemon ends its hack and destroys the window together: what
        // fails from here on for a vanished window is no news.
        errors.expectingErrors = true;
        if (hack != nullptr) MirutonFree(display, window->geometry.window, hack);
        CloseDrawingWindow(display, *window);
    }
    XCloseDisplay(display);
    // Xft's fonts went with the display; fontconfig's own tables go now, so
    // that nothing is left behind (a leak checker would say otherwise).
    FcFini();
    close(signals);
    return status;
}

}  // namespace

}  // namespace Miruton

int main(int argc, char** argv) {
    std::vector<std::string_view> arguments(argv + 1, argv + argc);
    std::string error;
    const auto options = Miruton::ParseHackOptions(arguments, error);
    if (!options) {
        std::fprintf(stderr, "miruton: %s\n%s", error.c_str(), Miruton::kUsage);
        return 2;
    }
    if (options->help) {
        std::fputs(Miruton::kUsage, stdout);
        return 0;
    }
    return Miruton::Run(*options);
}
