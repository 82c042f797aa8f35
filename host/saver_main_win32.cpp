// Process entry: the command line selects the mode, the mode's result becomes
// the exit code.
#include <windows.h>

#include <exception>

#include "command_line.h"
#include "host_win32.h"

namespace Miruton {

namespace {

HINSTANCE theModule = nullptr;
HostState theHost;
LPTOP_LEVEL_EXCEPTION_FILTER previousFilter = nullptr;

HWND AsWindow(std::uint32_t handle) {
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(handle));
}

HWND LiveWindowOr(HWND window, HWND fallback) {
    return window != nullptr && IsWindow(window) ? window : fallback;
}

// A fault that escapes a mode goes to the system's last-chance handler (the
// crash dialog or debugger). If that handler says the fault is handled here,
// the saver-running notice is withdrawn and the process ends with a failure;
// ending here is what returning from SaverMain would lead to, since the entry
// ends the process with SaverMain's result.
LONG WINAPI LastChanceGuard(EXCEPTION_POINTERS* fault) {
    SetUnhandledExceptionFilter(previousFilter);  // the system's handler, not this one again
    if (UnhandledExceptionFilter(fault) == EXCEPTION_EXECUTE_HANDLER) {
        SetSaverRunning(false);
        ExitProcess(static_cast<UINT>(kSaverFailed));
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

int RunMode(const ModeSelection& selection) {
    switch (selection.mode) {
        case SaverMode::About:
            return ShowAboutBox(nullptr);
        case SaverMode::Configure:
            return ShowAboutBox(LiveWindowOr(AsWindow(selection.handle), GetForegroundWindow()));
        case SaverMode::Show:
            return RunSaver(nullptr);
        case SaverMode::Preview: {
            const HWND parent = AsWindow(selection.handle);
            return parent != nullptr && IsWindow(parent) ? RunSaver(parent) : kModeRefused;
        }
        case SaverMode::ChangePassword:
            if (!theHost.windows9x) return kModeRefused;
            ChangePassword(LiveWindowOr(AsWindow(selection.handle), GetForegroundWindow()));
            return 0;
        case SaverMode::Invalid:
            break;
    }
    return kModeRefused;
}

}  // namespace

HostState& Host() {
    return theHost;
}
HINSTANCE HostModule() {
    return theModule;
}
void SetHostModule(HINSTANCE module) {
    theModule = module;
}

HWND ParseWindowHandle(const char* text) {
    return AsWindow(ParseWindowHandle(std::string_view(text != nullptr ? text : "")));
}

int SaverMain(HINSTANCE module, const char* arguments) {
    theModule = module;
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;  // 148
    theHost.windows9x =
        GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;

    previousFilter = SetUnhandledExceptionFilter(LastChanceGuard);
    try {
        const int result = RunMode(SelectMode(arguments != nullptr ? arguments : ""));
        SetUnhandledExceptionFilter(previousFilter);
        return result;
    } catch (const std::exception&) {
        // Nothing the modes call throws by design; should anything (out of
        // memory) escape, end as the fault guard does.
        SetSaverRunning(false);
        return kSaverFailed;
    }
}

// The platform's GUI entry. It takes none of its arguments: the command line
// is read whole and scanned here, as the screen-saver control writes it.
[[noreturn]] void SaverStartup(HINSTANCE, HINSTANCE, LPSTR, int) {
    const char* commandLine = GetCommandLineA();
    const std::string_view arguments = ArgumentText(commandLine != nullptr ? commandLine : "");
    ExitProcess(static_cast<UINT>(SaverMain(GetModuleHandleA(nullptr), arguments.data())));
}

}  // namespace Miruton

// The runtime's WinMain hands over at once, after it has initialised the C++
// runtime (static objects, exceptions) that a bare entry point would skip.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    Miruton::SaverStartup(instance, previous, commandLine, show);
}
