#pragma once

#include <cstdint>

namespace Miruton {

constexpr int kAboutDialog = 2003;  // IDD_ABOUT
constexpr int kSaverIcon = 108;     // IDI_SAVER
constexpr int kDescription = 1;     // IDS_DESCRIPTION
constexpr int kOkButton = 1;        // IDOK
constexpr char kPasswordProvider[] = "SCRSAVE";

// What the about box does with a message: only the button (or Enter, which
// sends the same command) ends it, with result 1. There is no cancel command,
// so Escape and the caption's close box leave it open.
struct AboutDecision {
    bool result = false;  // the dialog procedure's return value
    bool endDialog = false;
    int endResult = 0;
};

constexpr std::uint32_t kInitDialog = 0x0110;  // WM_INITDIALOG
constexpr std::uint32_t kCommand = 0x0111;     // WM_COMMAND

constexpr AboutDecision DecideAbout(std::uint32_t message, std::uint32_t commandId) {
    if (message == kInitDialog) return {true, false, 0};
    if (message == kCommand && commandId == kOkButton) return {false, true, 1};
    return {};
}

}  // namespace Miruton
