// Configuration mode (the about box) and password-change mode.
#include <windows.h>

#include "about_box.h"
#include "host_win32.h"

namespace Miruton {

bool PrepareAboutBox(HINSTANCE) {
    return true;
}

int ShowAboutBox(HWND owner) {
    if (!PrepareAboutBox(HostModule())) return 0;
    return static_cast<int>(
        DialogBoxParamA(HostModule(), MAKEINTRESOURCEA(kAboutDialog), owner, AboutDialogProc, 0));
}

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    const AboutDecision decision = DecideAbout(message, LOWORD(wParam));
    if (decision.endDialog) EndDialog(dialog, decision.endResult);
    return decision.result ? TRUE : FALSE;
}

void ChangePassword(HWND owner) {
    using ChangeFunction = DWORD(WINAPI*)(LPCSTR, HWND, DWORD, DWORD);
    HMODULE library = LoadLibraryA("MPR.DLL");
    if (library == nullptr) return;
    const auto change = reinterpret_cast<ChangeFunction>(
        reinterpret_cast<void*>(GetProcAddress(library, "PwdChangePasswordA")));
    if (change != nullptr) change(kPasswordProvider, owner, 0, 0);
    FreeLibrary(library);
}

}  // namespace Miruton
