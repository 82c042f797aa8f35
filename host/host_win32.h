#pragma once

#include <windows.h>

#include "host_state.h"

namespace Miruton {

// The host's process-wide state: the module, the Windows 9x flag and the
// flags of the window procedures.
HostState& Host();
HINSTANCE HostModule();
void SetHostModule(HINSTANCE module);

// Entry and modes.
int SaverMain(HINSTANCE module, const char* arguments);
HWND ParseWindowHandle(const char* text);

// The saver window.
int RunSaver(HWND parent);
LRESULT CALLBACK SaverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
bool ConfirmClose(HWND window);
void LoadPasswordVerifier();
void ReleasePasswordVerifier();
void SetSaverRunning(bool on);

// The about box and the password change.
int ShowAboutBox(HWND owner);
bool PrepareAboutBox(HINSTANCE module);
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void ChangePassword(HWND owner);

// Results of the modes beyond those of the dialog and the message loop.
constexpr int kModeRefused = -1;  // an unknown switch, a missing preview window, /a off 9x
constexpr int kSaverFailed = -1;  // no window: the class, the window or a picture failed

}  // namespace Miruton
