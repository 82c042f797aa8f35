// The saver window: class, creation, message loop, and the Win32 side of the
// close rules and the password check (the decisions are in saver_logic).
#include <windows.h>

#include "host_win32.h"
#include "saver_logic.h"
#include "saver_messages.h"
#include "saver_procs.h"
#include "screen_saver_proc.h"

namespace Miruton {

static_assert(Msg::Create == WM_CREATE && Msg::Destroy == WM_DESTROY &&
              Msg::SetText == WM_SETTEXT && Msg::Paint == WM_PAINT && Msg::Close == WM_CLOSE &&
              Msg::ShowWindow == WM_SHOWWINDOW && Msg::ActivateApp == WM_ACTIVATEAPP &&
              Msg::SetCursor == WM_SETCURSOR && Msg::Power == WM_POWER && Msg::Help == WM_HELP &&
              Msg::ContextMenu == WM_CONTEXTMENU && Msg::KeyDown == WM_KEYDOWN &&
              Msg::SysKeyDown == WM_SYSKEYDOWN && Msg::SysCommand == WM_SYSCOMMAND &&
              Msg::Timer == WM_TIMER && Msg::MouseMove == WM_MOUSEMOVE &&
              Msg::LButtonDown == WM_LBUTTONDOWN && Msg::RButtonDown == WM_RBUTTONDOWN &&
              Msg::MButtonDown == WM_MBUTTONDOWN && Msg::PowerBroadcast == WM_POWERBROADCAST &&
              Msg::Verify == WM_APP);
static_assert(Pbt::QuerySuspend == PBT_APMQUERYSUSPEND &&
              Pbt::QueryStandby == PBT_APMQUERYSTANDBY &&
              Pbt::QuerySuspendFailed == PBT_APMQUERYSUSPENDFAILED &&
              Pbt::QueryStandbyFailed == PBT_APMQUERYSTANDBYFAILED &&
              Pbt::Suspend == PBT_APMSUSPEND && Pbt::Standby == PBT_APMSTANDBY &&
              Pbt::ResumeCritical == PBT_APMRESUMECRITICAL &&
              Pbt::ResumeSuspend == PBT_APMRESUMESUSPEND &&
              Pbt::ResumeStandby == PBT_APMRESUMESTANDBY && Pbt::BatteryLow == PBT_APMBATTERYLOW &&
              Pbt::PowerStatusChange == PBT_APMPOWERSTATUSCHANGE &&
              Pbt::OemEvent == PBT_APMOEMEVENT && Pbt::ResumeAutomatic == PBT_APMRESUMEAUTOMATIC &&
              Pbt::PowerSettingChange == PBT_POWERSETTINGCHANGE);
static_assert(kScScreenSave == SC_SCREENSAVE && kScNextWindow == SC_NEXTWINDOW &&
              kScPrevWindow == SC_PREVWINDOW);

namespace {

constexpr char kClassName[] = "WindowsScreenSaverClass";
constexpr char kShowTitle[] = "Screen Saver";
constexpr char kPreviewTitle[] = "Preview";
// The class asks for icon 100, which the module does not have (its icon group
// is 108), so the window has no class icon.
constexpr WORD kClassIcon = 100;
constexpr UINT kClassStyle = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_OWNDC;

using VerifyFunction = BOOL(WINAPI*)(HWND);
using AssociateFunction = HIMC(WINAPI*)(HWND, HIMC);

// The optional system libraries, loaded at run time.
HMODULE verifierLibrary = nullptr;
VerifyFunction verify = nullptr;
HMODULE imeModule = nullptr;
AssociateFunction associateContext = nullptr;
HIMC savedContext = nullptr;

class Win32SaverPlatform : public SaverPlatform {
  public:
    explicit Win32SaverPlatform(HWND window) : window(window) {}

    Result Slideshow(std::uint32_t m, std::uintptr_t w, std::intptr_t l) override {
        return ScreenSaverProc(window, m, w, l);
    }
    Result DefWindow(std::uint32_t m, std::uintptr_t w, std::intptr_t l) override {
        return DefWindowProcA(window, m, w, l);
    }
    CursorPoint CursorPosition() override {
        POINT p{};
        GetCursorPos(&p);
        return {p.x, p.y};
    }
    void HideCursor() override { SetCursor(nullptr); }
    void PostClose() override { PostMessageA(window, WM_CLOSE, 0, 0); }
    bool ForwardToParent(std::uint32_t message, std::intptr_t lParam) override {
        HWND parent = GetParent(window);
        if (parent == nullptr || !IsWindow(parent)) return false;
        PostMessageA(parent, message, reinterpret_cast<WPARAM>(parent), lParam);
        return true;
    }
    void SwitchInputMethodOff() override {
        // Only when the process already has the input-method library.
        imeModule = GetModuleHandleA("IMM32.DLL");
        if (imeModule == nullptr) return;
        associateContext = reinterpret_cast<AssociateFunction>(
            reinterpret_cast<void*>(GetProcAddress(imeModule, "ImmAssociateContext")));
        if (associateContext != nullptr) savedContext = associateContext(window, nullptr);
    }
    void RestoreInputMethod() override {
        if (imeModule != nullptr && associateContext != nullptr && savedContext != nullptr)
            associateContext(window, savedContext);
    }
    void PostQuit() override { PostQuitMessage(0); }
    void YieldSlice() override { Sleep(0); }
    std::uint32_t TickCount() override { return GetTickCount(); }
    void RemovePendingTicks() override {
        MSG pending;
        PeekMessageA(&pending, window, WM_TIMER, WM_TIMER, PM_REMOVE | PM_NOYIELD);
    }
    bool SendVerifyRequest() override { return SendMessageA(window, WM_APP, 0, 0) != 0; }
    Result CallVerifier() override { return verify != nullptr ? verify(window) : 1; }

  private:
    HWND window;
};

}  // namespace

int RunSaver(HWND parent) {
    HostState& host = Host();
    WNDCLASSA windowClass{};
    windowClass.style = kClassStyle;
    windowClass.lpfnWndProc = SaverWindowProc;
    windowClass.hInstance = HostModule();
    windowClass.hIcon = LoadIconA(HostModule(), MAKEINTRESOURCEA(kClassIcon));
    windowClass.hCursor = nullptr;  // the pointer stays hidden during the show
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = kClassName;

    int left = 0, top = 0, width = 0, height = 0;
    DWORD style = 0, extendedStyle = 0;
    const char* title = nullptr;
    if (parent != nullptr) {
        RECT client{};
        GetClientRect(parent, &client);
        width = client.right;
        height = client.bottom;
        host.preview = true;
        style = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN;
        title = kPreviewTitle;
    } else {
        HDC screen = GetDC(nullptr);
        RECT box{};
        GetClipBox(screen, &box);
        ReleaseDC(nullptr, screen);
        left = box.left;
        top = box.top;
        width = box.right - box.left;
        height = box.bottom - box.top;
        style = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
        extendedStyle = WS_EX_TOPMOST;
        title = kShowTitle;
        // One show per desktop: a second start brings the first one forward.
        HWND running = FindWindowA(kClassName, kShowTitle);
        if (running != nullptr && IsWindow(running)) {
            SetForegroundWindow(running);
            return 0;
        }
        LoadPasswordVerifier();
    }
    if (host.windows9x) host.autoPlayMessage = RegisterWindowMessageA("QueryCancelAutoPlay");

    HWND window = nullptr;
    if (RegisterClassA(&windowClass) != 0)
        window = CreateWindowExA(extendedStyle, kClassName, title, style, left, top, width, height,
                                 parent, nullptr, HostModule(), nullptr);
    // Without a window no message ever arrives; that is a failure to run.
    int result = kSaverFailed;
    if (window != nullptr) {
        if (parent == nullptr) SetForegroundWindow(window);
        MSG message{};
        while (GetMessageA(&message, nullptr, 0, 0) > 0) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        result = static_cast<int>(message.wParam);
    }
    ReleasePasswordVerifier();
    return result;
}

LRESULT CALLBACK SaverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Win32SaverPlatform platform(window);
    return SaverWindowLogic(Host(), platform, message, wParam, lParam);
}

LRESULT CALLBACK DefaultSaverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Win32SaverPlatform platform(window);
    return DefaultSaverLogic(Host(), platform, message, wParam, lParam);
}

bool ConfirmClose(HWND window) {
    Win32SaverPlatform platform(window);
    return ConfirmCloseLogic(Host(), platform);
}

void LoadPasswordVerifier() {
    if (!Host().windows9x) return;
    if (verifierLibrary != nullptr) ReleasePasswordVerifier();
    HKEY desktop = nullptr;
    if (RegOpenKeyA(HKEY_CURRENT_USER, "Control Panel\\Desktop", &desktop) != ERROR_SUCCESS) return;
    // A value shorter than four bytes fills the low bytes of a zeroed number.
    DWORD usePassword = 0;
    DWORD size = sizeof usePassword;
    if (RegQueryValueExA(desktop, "ScreenSaveUsePassword", nullptr, nullptr,
                         reinterpret_cast<BYTE*>(&usePassword), &size) == ERROR_SUCCESS &&
        usePassword != 0) {
        verifierLibrary = LoadLibraryA("PASSWORD.CPL");
        if (verifierLibrary != nullptr) {
            verify = reinterpret_cast<VerifyFunction>(
                reinterpret_cast<void*>(GetProcAddress(verifierLibrary, "VerifyScreenSavePwd")));
            if (verify != nullptr) {
                Host().haveVerifier = true;
                SetSaverRunning(true);
            } else {
                ReleasePasswordVerifier();
            }
        }
    }
    RegCloseKey(desktop);
}

void ReleasePasswordVerifier() {
    if (!Host().windows9x || verifierLibrary == nullptr) return;
    FreeLibrary(verifierLibrary);
    verifierLibrary = nullptr;
    if (verify != nullptr) {
        verify = nullptr;
        Host().haveVerifier = false;
        SetSaverRunning(false);
    }
}

void SetSaverRunning(bool on) {
    if (!Host().windows9x) return;
    UINT previous = 0;
    SystemParametersInfoA(SPI_SCREENSAVERRUNNING, on ? 1 : 0, &previous, 0);
}

}  // namespace Miruton
