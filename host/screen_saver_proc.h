#pragma once

#include <windows.h>

namespace Miruton {

// The slideshow's window procedure, in the saver window's chain between the
// host's input filters and the default saver handling.
LRESULT CALLBACK ScreenSaverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace Miruton
