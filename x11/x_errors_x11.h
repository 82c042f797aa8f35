#pragma once

#include <X11/Xlib.h>

namespace Miruton {

// What the X error handler has seen. Errors arrive asynchronously, after the
// request that caused them; the hack looks at this record after its
// round trips.
struct XErrorRecord {
    Window watched = 0;            // the window the show draws in
    bool watchedGone = false;      // a request on it found no such window
    bool expectingErrors = false;  // while probing: errors are counted, not printed
    int errors = 0;
};

// Installs the error handlers for this display. Xlib's handlers carry no user
// data, so the record is attached to the display with Xlib's context manager,
// where the handler finds it; it must outlive the display's connection.
// Losing the connection (the server ended) ends the program with status 0:
// the session it was shown in is over.
void InstallErrorHandlers(Display* display, XErrorRecord& record);

}  // namespace Miruton
