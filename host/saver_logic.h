#pragma once

#include <cstdint>

#include "host_state.h"

namespace Miruton {

// The side effects that the saver's window procedures ask of the window
// system. The Win32 shell carries them out; tests record them.
class SaverPlatform {
  public:
    virtual ~SaverPlatform() = default;
    using Result = std::intptr_t;

    // The rest of the chain.
    virtual Result Slideshow(std::uint32_t message, std::uintptr_t wParam,
                             std::intptr_t lParam) = 0;
    virtual Result DefWindow(std::uint32_t message, std::uintptr_t wParam,
                             std::intptr_t lParam) = 0;

    virtual CursorPoint CursorPosition() = 0;
    virtual void HideCursor() = 0;
    virtual void PostClose() = 0;  // PostMessageA(window, WM_CLOSE, 0, 0)
    // Posts the message to the preview's parent with the parent as wParam;
    // false when there is no live parent.
    virtual bool ForwardToParent(std::uint32_t message, std::intptr_t lParam) = 0;

    // Window creation and destruction: the input method and the loop.
    virtual void SwitchInputMethodOff() = 0;
    virtual void RestoreInputMethod() = 0;
    virtual void PostQuit() = 0;
    virtual void YieldSlice() = 0;  // Sleep(0) before a tick

    // The password check.
    virtual std::uint32_t TickCount() = 0;
    virtual void RemovePendingTicks() = 0;
    virtual bool SendVerifyRequest() = 0;  // SendMessageA(window, WM_APP, 0, 0) != 0
    virtual Result CallVerifier() = 0;     // VerifyScreenSavePwd(window)
};

// A movement closes when |dx| + |dy| exceeds 4, the sum compared unsigned.
bool MovedBeyondThreshold(CursorPoint saved, CursorPoint now);

// Whether a WM_POWERBROADCAST event ends the show: only the machine going to
// sleep (or being asked to) and its coming back. Battery status, battery low,
// OEM events, failed sleep requests and power-setting changes arrive while
// nobody touches the machine, and keep the show.
bool PowerBroadcastCloses(std::uintptr_t event);

// The class procedure: input filters, cursor, input method.
SaverPlatform::Result SaverWindowLogic(HostState& state, SaverPlatform& platform,
                                       std::uint32_t message, std::uintptr_t wParam,
                                       std::intptr_t lParam);

// The end of the chain: close rules, password request, AutoPlay refusal.
SaverPlatform::Result DefaultSaverLogic(HostState& state, SaverPlatform& platform,
                                        std::uint32_t message, std::uintptr_t wParam,
                                        std::intptr_t lParam);

// May a close request proceed? Asks the verifier at most once per 200 ms.
bool ConfirmCloseLogic(HostState& state, SaverPlatform& platform);

}  // namespace Miruton
