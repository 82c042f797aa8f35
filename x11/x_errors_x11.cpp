#include "x_errors_x11.h"

#include <X11/Xresource.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <cstdio>

namespace Miruton {

namespace {

XContext RecordContext() {
    // A quark is a number the string always maps to: the handler computes
    // the same context without a variable to keep it in.
    return static_cast<XContext>(XrmStringToQuark("miruton.error-record"));
}

XErrorRecord* RecordOf(Display* display) {
    XPointer data = nullptr;
    if (XFindContext(display, DefaultRootWindow(display), RecordContext(), &data) != 0)
        return nullptr;
    return reinterpret_cast<XErrorRecord*>(data);
}

int OnError(Display* display, XErrorEvent* event) {
    XErrorRecord* record = RecordOf(display);
    if (record != nullptr) {
        ++record->errors;
        const bool windowMissing =
            event->error_code == BadWindow || event->error_code == BadDrawable;
        if (windowMissing && event->resourceid == record->watched) record->watchedGone = true;
        // Once the window is gone, the requests still in flight for it (its
        // picture, its graphics context) fail too; they are no news.
        if (record->watchedGone || record->expectingErrors) return 0;
    }
    char text[256];
    XGetErrorText(display, event->error_code, text, sizeof text);
    std::fprintf(stderr, "miruton: X error: %s (request %d.%d, resource 0x%lx)\n", text,
                 event->request_code, event->minor_code, event->resourceid);
    return 0;
}

int OnConnectionLost(Display*) {
    static const char message[] = "miruton: the X server closed the connection\n";
    // Xlib's state is unusable now; leave without running anything more.
    (void)!write(STDERR_FILENO, message, sizeof message - 1);
    _exit(0);
}

}  // namespace

void InstallErrorHandlers(Display* display, XErrorRecord& record) {
    XSaveContext(display, DefaultRootWindow(display), RecordContext(),
                 reinterpret_cast<XPointer>(&record));
    XSetErrorHandler(OnError);
    XSetIOErrorHandler(OnConnectionLost);
}

}  // namespace Miruton
