#pragma once

#include <cstdint>

namespace Miruton {

// The window messages and values that the saver's decisions use, as numbers,
// so that the decisions build and run without the window system (the Win32
// files check them against <windows.h>).
namespace Msg {
constexpr std::uint32_t Create = 0x0001;
constexpr std::uint32_t Destroy = 0x0002;
constexpr std::uint32_t SetText = 0x000C;
constexpr std::uint32_t Paint = 0x000F;
constexpr std::uint32_t Close = 0x0010;
constexpr std::uint32_t ShowWindow = 0x0018;
constexpr std::uint32_t ActivateApp = 0x001C;
constexpr std::uint32_t SetCursor = 0x0020;
constexpr std::uint32_t Power = 0x0048;
constexpr std::uint32_t Help = 0x0053;
constexpr std::uint32_t ContextMenu = 0x007B;
constexpr std::uint32_t KeyDown = 0x0100;
constexpr std::uint32_t SysKeyDown = 0x0104;
constexpr std::uint32_t SysCommand = 0x0112;
constexpr std::uint32_t Timer = 0x0113;
constexpr std::uint32_t MouseMove = 0x0200;
constexpr std::uint32_t LButtonDown = 0x0201;
constexpr std::uint32_t RButtonDown = 0x0204;
constexpr std::uint32_t MButtonDown = 0x0207;
constexpr std::uint32_t PowerBroadcast = 0x0218;
// The private message through which a close request asks the verifier.
constexpr std::uint32_t Verify = 0x8000;  // WM_APP
}  // namespace Msg

constexpr std::uintptr_t kScScreenSave = 0xF140;
constexpr std::uintptr_t kScNextWindow = 0xF040;
constexpr std::uintptr_t kScPrevWindow = 0xF050;
constexpr std::uintptr_t kPowerCriticalResume = 3;  // PWR_CRITICALRESUME

// The events of WM_POWERBROADCAST (its wParam).
namespace Pbt {
constexpr std::uintptr_t QuerySuspend = 0x0000;
constexpr std::uintptr_t QueryStandby = 0x0001;
constexpr std::uintptr_t QuerySuspendFailed = 0x0002;
constexpr std::uintptr_t QueryStandbyFailed = 0x0003;
constexpr std::uintptr_t Suspend = 0x0004;
constexpr std::uintptr_t Standby = 0x0005;
constexpr std::uintptr_t ResumeCritical = 0x0006;
constexpr std::uintptr_t ResumeSuspend = 0x0007;
constexpr std::uintptr_t ResumeStandby = 0x0008;
constexpr std::uintptr_t BatteryLow = 0x0009;
constexpr std::uintptr_t PowerStatusChange = 0x000A;
constexpr std::uintptr_t OemEvent = 0x000B;
constexpr std::uintptr_t ResumeAutomatic = 0x0012;
constexpr std::uintptr_t PowerSettingChange = 0x8013;
}  // namespace Pbt

}  // namespace Miruton
