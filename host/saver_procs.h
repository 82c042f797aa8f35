#pragma once

#include <windows.h>

namespace Miruton {

// The last procedure of the saver window's chain: the close rules, the
// password request and the AutoPlay refusal; everything else goes to
// DefWindowProcA.
LRESULT CALLBACK DefaultSaverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace Miruton
