#include "saver_logic.h"

#include <cstdlib>

#include "saver_messages.h"

namespace Miruton {

namespace {

constexpr std::uint32_t kMouseThreshold = 4;
constexpr std::uint32_t kMinimumCheckGap = 200;  // ms between two password checks

bool IsKeyOrButton(std::uint32_t message) {
    return message == Msg::KeyDown || message == Msg::SysKeyDown || message == Msg::LButtonDown ||
           message == Msg::RButtonDown || message == Msg::MButtonDown;
}

std::uint32_t Distance(std::int32_t a, std::int32_t b) {
    return static_cast<std::uint32_t>(std::llabs(static_cast<long long>(a) - b));
}

}  // namespace

bool PowerBroadcastCloses(std::uintptr_t event) {
    switch (event) {
        case Pbt::QuerySuspend:
        case Pbt::Suspend:
        case Pbt::ResumeSuspend:
        case Pbt::ResumeCritical:
        case Pbt::ResumeAutomatic:
        case Pbt::QueryStandby:
        case Pbt::Standby:
        case Pbt::ResumeStandby:
            return true;
        default:
            return false;
    }
}

bool MovedBeyondThreshold(CursorPoint saved, CursorPoint now) {
    return Distance(now.x, saved.x) + Distance(now.y, saved.y) > kMouseThreshold;
}

SaverPlatform::Result SaverWindowLogic(HostState& state, SaverPlatform& platform,
                                       std::uint32_t message, std::uintptr_t wParam,
                                       std::intptr_t lParam) {
    switch (message) {
        case Msg::Create:
            platform.SwitchInputMethodOff();
            state.savedCursor = platform.CursorPosition();
            if (!state.preview) platform.HideCursor();
            break;
        case Msg::Destroy:
            platform.RestoreInputMethod();
            platform.PostQuit();
            break;
        case Msg::SetText:
            return 0;  // the title never changes
        case Msg::Paint:
            if (state.closeGranted) return platform.DefWindow(message, wParam, lParam);
            if (!state.preview) platform.HideCursor();
            break;
        case Msg::Help:
        case Msg::ContextMenu:
            if (state.preview) {
                platform.ForwardToParent(message, lParam);
                return 1;
            }
            break;
        case Msg::KeyDown:
        case Msg::SysKeyDown:
        case Msg::MouseMove:
        case Msg::LButtonDown:
        case Msg::RButtonDown:
        case Msg::MButtonDown:
            if (state.closeGranted) return platform.DefWindow(message, wParam, lParam);
            break;
        case Msg::SysCommand:
            // The system must not start another saver or switch windows under the show.
            if (!state.preview &&
                (wParam == kScScreenSave || wParam == kScNextWindow || wParam == kScPrevWindow))
                return 0;
            break;
        case Msg::Timer:
            if (state.closeGranted) return 0;  // no frame once the show is closing
            platform.YieldSlice();
            break;
        default:
            break;
    }
    return platform.Slideshow(message, wParam, lParam);
}

SaverPlatform::Result DefaultSaverLogic(HostState& state, SaverPlatform& platform,
                                        std::uint32_t message, std::uintptr_t wParam,
                                        std::intptr_t lParam) {
    if (!state.preview && !state.closeGranted) {
        if (message == Msg::Close) {
            if (state.windows9x && !ConfirmCloseLogic(state, platform)) {
                // Refused: the show goes on, and the pointer's present position
                // is the new reference for movement.
                state.savedCursor = platform.CursorPosition();
                return 0;
            }
        } else if (message == Msg::Verify) {
            if (state.windows9x) return state.haveVerifier ? platform.CallVerifier() : 1;
        } else if (!state.passwordCheckRunning) {
            switch (message) {
                case Msg::ShowWindow:
                    if (wParam != 0) platform.HideCursor();
                    break;
                case Msg::ActivateApp:
                    if (wParam == 0) platform.PostClose();
                    break;
                case Msg::SetCursor:
                    platform.HideCursor();
                    return 1;
                case Msg::Power:
                    if (wParam == kPowerCriticalResume) platform.PostClose();
                    break;
                case Msg::PowerBroadcast:
                    if (PowerBroadcastCloses(wParam)) platform.PostClose();
                    break;
                case Msg::MouseMove: {
                    // The pointer's own position, not the message's coordinates.
                    const CursorPoint now = platform.CursorPosition();
                    if (MovedBeyondThreshold(state.savedCursor, now)) {
                        platform.PostClose();
                        state.savedCursor = now;
                    }
                    break;
                }
                default:
                    if (IsKeyOrButton(message)) platform.PostClose();
                    break;
            }
        }
    }
    if (state.autoPlayMessage != 0 && message == state.autoPlayMessage) {
        // Non-zero tells the system to cancel AutoPlay.
        platform.PostClose();
        return state.haveVerifier ? 1 : 0;
    }
    return platform.DefWindow(message, wParam, lParam);
}

bool ConfirmCloseLogic(HostState& state, SaverPlatform& platform) {
    if (state.passwordCheckRunning || state.closeGranted) return false;
    if (!state.haveVerifier) {
        state.closeGranted = true;
        return true;
    }
    // Unsigned difference: harmless across the tick count's 49.7-day wrap.
    if (state.lastCheckTime != HostState::kNeverChecked &&
        platform.TickCount() - state.lastCheckTime < kMinimumCheckGap)
        return false;

    state.passwordCheckRunning = true;
    platform.RemovePendingTicks();
    platform.RemovePendingTicks();
    state.closeGranted = platform.SendVerifyRequest();
    state.passwordCheckRunning = false;
    if (!state.closeGranted) platform.HideCursor();
    state.lastCheckTime = platform.TickCount();
    return state.closeGranted;
}

}  // namespace Miruton
