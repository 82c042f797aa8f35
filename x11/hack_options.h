#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Miruton {

// Where the show is drawn.
enum class TargetKind {
    OwnWindow,    // no target given: a 640 x 480 window of our own
    Fullscreen,   // our own window covering the screen, pointer hidden
    Root,         // the root window
    GivenWindow,  // a window someone else made: the daemon's, a preview's
};

struct HackOptions {
    bool root = false;                      // --root / -root
    std::optional<std::uint32_t> windowId;  // --window-id / -window-id
    bool fullscreen = false;                // --fullscreen / -fullscreen
    std::optional<int> scale;               // --scale K
    std::string display;                    // --display NAME; empty: $DISPLAY
    bool verbose = false;                   // --verbose: what it draws with, on standard error
    bool help = false;
};

// The command line, or `error` says what is wrong with it.
std::optional<HackOptions> ParseHackOptions(const std::vector<std::string_view>& arguments,
                                            std::string& error);

// An X window id as daemons pass it: "0x" and hexadecimal digits, or decimal.
// Ids are 32-bit and never 0; anything else (signs, blanks, trailing
// characters, overflow) is refused.
std::optional<std::uint32_t> ParseWindowId(std::string_view text);

struct DrawTarget {
    TargetKind kind = TargetKind::OwnWindow;
    std::uint32_t window = 0;  // GivenWindow only
};

// Which window to draw in. `screensaverWindow` is $XSCREENSAVER_WINDOW (null
// when unset): XScreenSaver passes --root and its own window there in
// hexadecimal, xsecurelock runs its saver without arguments and passes its
// window in decimal. The variable counts unless --window-id or --fullscreen
// is given.
std::optional<DrawTarget> ChooseTarget(const HackOptions& options, const char* screensaverWindow,
                                       std::string& error);

extern const char kUsage[];

}  // namespace Miruton
